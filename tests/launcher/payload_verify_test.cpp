// The check between writing a payload file and holding it: a file whose bytes are not the resource's is
// reported, marks the run as tampered with and is not held.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/payload_lock.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

// The folder a payload file is checked in, open as a run holds it.
UniqueFile openFolder(const std::string& path) {
    return UniqueFile(CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

TEST(PayloadVerification, OnlyTheExactBytesAreHeld) {
    const std::string resource = "MSCF cabinet bytes";
    struct Case {
        const char* name;
        std::string onDisk;
        bool held;
    } cases[] = {
        {"as written", resource, true},
        {"one byte changed", "MSCF cabinet bytez", false},
        {"cut short", "MSCF cabinet", false},
        {"longer", resource + "!", false},
        {"emptied", "", false},
    };
    testing_support::TempDir dir;
    UniqueFile folder = openFolder(dir.path());
    ASSERT_TRUE(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunHolds holds;
        testing_support::LogCapture log;
        const std::string path = dir.file("payload.cab");
        testing_support::writeFile(path, c.onDisk);
        EXPECT_EQ(c.held, holdVerifiedPayload(holds, folder.get(), "payload.cab", path, resource.data(),
                                                static_cast<DWORD>(resource.size())));
        EXPECT_EQ(c.held ? 0 : 1, log.count("was changed after it was written"));
        // A held file refuses writers; a changed one is gone, so no engine can read it.
        if (c.held) {
            HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
            if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        } else {
            EXPECT_FALSE(testing_support::fileExists(path));
        }
        EXPECT_NE(c.held, holds.tampered());
        holds.release();
    }
}

TEST(PayloadVerification, AFileHeldOpenForWritingBySomeoneElseIsReported) {
    testing_support::TempDir dir;
    const std::string path = dir.file("payload.msi");
    testing_support::writeFile(path, "db");
    UniqueHandle other(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    testing_support::LogCapture log;
    RunHolds holds;
    UniqueFile folder = openFolder(dir.path());
    ASSERT_TRUE(folder);
    EXPECT_FALSE(holdVerifiedPayload(holds, folder.get(), "payload.msi", path, "db", 2));
    EXPECT_TRUE(holds.tampered());
    EXPECT_EQ(1, log.count("cannot be reopened for reading alone"));
}

}  // namespace
