// Entries reached by a name inside an open folder's handle: the name stays inside that folder, and what the
// handle holds is reached wherever the folder has been moved since.
#include "platform/relative_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_handles.h"
#include "test_support.h"

namespace {

// A folder open as the payload code holds one, or (with `share` including delete) one that may be renamed.
UniqueFile openFolder(const std::string& path, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE) {
    return UniqueFile(CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, share, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

const RelativeRequest kNewFolder{FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, RelativeDisposition::Create,
                                 RelativeKind::Folder};

TEST(RelativeEntries, ANameNeverReachesOutsideTheFolder) {
    testing_support::TempDir dir;
    CreateDirectoryA(dir.file("inner").c_str(), nullptr);
    UniqueFile inner = openFolder(dir.file("inner"));
    ASSERT_TRUE(inner);
    for (const wchar_t* name : {L"", L".", L"..", L"..\\escaped", L"a\\b", L"a/b"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        UniqueFile entry;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), openRelative(inner.get(), name, kNewFolder, entry));
        EXPECT_FALSE(entry);
    }
    EXPECT_FALSE(testing_support::fileExists(dir.file("escaped")));
}

TEST(RelativeEntries, DispositionsTellMadeFromFound) {
    testing_support::TempDir dir;
    UniqueFile folder = openFolder(dir.path());
    ASSERT_TRUE(folder);
    struct Case {
        const char* name;
        RelativeDisposition disposition;
        DWORD error;
        bool created;
    } cases[] = {
        {"open, nothing there", RelativeDisposition::Open, ERROR_FILE_NOT_FOUND, false},
        {"open or create, nothing there", RelativeDisposition::OpenOrCreate, ERROR_SUCCESS, true},
        {"open or create, there now", RelativeDisposition::OpenOrCreate, ERROR_SUCCESS, false},
        {"create, there already", RelativeDisposition::Create, ERROR_ALREADY_EXISTS, false},
        {"open, there", RelativeDisposition::Open, ERROR_SUCCESS, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UniqueFile entry;
        bool created = !c.created;
        RelativeRequest request = kNewFolder;
        request.disposition = c.disposition;
        EXPECT_EQ(c.error, openRelative(folder.get(), L"made", request, entry, &created));
        EXPECT_EQ(c.created, created);
    }
}

// The held handle, not the path, says where a new entry goes: a folder renamed meanwhile takes it along.
TEST(RelativeEntries, WhatIsMadeLandsInTheFolderTheHandleHoldsWhereverItWentSince) {
    testing_support::TempDir dir;
    ASSERT_TRUE(CreateDirectoryA(dir.file("leaf").c_str(), nullptr));
    UniqueFile leaf = openFolder(dir.file("leaf"), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(leaf);
    ASSERT_TRUE(MoveFileA(dir.file("leaf").c_str(), dir.file("moved").c_str()));
    ASSERT_TRUE(CreateDirectoryA(dir.file("leaf").c_str(), nullptr)) << "someone else's folder under the old name";
    UniqueFile file;
    const RelativeRequest newFile{GENERIC_WRITE, 0, RelativeDisposition::Create, RelativeKind::File};
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), openRelative(leaf.get(), L"kit.msi", newFile, file));
    file.reset();
    EXPECT_TRUE(testing_support::fileExists(dir.file("moved\\kit.msi")));
    EXPECT_FALSE(testing_support::fileExists(dir.file("leaf\\kit.msi")));
    std::vector<FolderEntry> entries;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), listFolder(leaf.get(), entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(L"kit.msi", entries[0].name);
    DeleteFileA(dir.file("moved\\kit.msi").c_str());
    RemoveDirectoryA(dir.file("leaf").c_str());
    leaf.reset();
    RemoveDirectoryA(dir.file("moved").c_str());
}

TEST(RelativeEntries, ARenameNeverReplacesWhatHasTheNewName) {
    testing_support::TempDir dir;
    UniqueFile folder = openFolder(dir.path());
    ASSERT_TRUE(folder);
    testing_support::writeFile(dir.file("taken"), "kept");
    testing_support::writeFile(dir.file("old"), "moving");
    UniqueFile old;
    const RelativeRequest forRename{DELETE, FILE_SHARE_READ, RelativeDisposition::Open, RelativeKind::Any};
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), openRelative(folder.get(), L"old", forRename, old));
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), renameRelative(old.get(), folder.get(), L"taken"));
    EXPECT_EQ("kept", testing_support::readFile(dir.file("taken")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), renameRelative(old.get(), folder.get(), L"aside"));
    old.reset();
    EXPECT_EQ("moving", testing_support::readFile(dir.file("aside")));
    EXPECT_FALSE(testing_support::fileExists(dir.file("old")));
    DeleteFileA(dir.file("taken").c_str());
    DeleteFileA(dir.file("aside").c_str());
}

// A second name of a file elsewhere is removed as itself: the file it shares stays whole.
TEST(RelativeEntries, DeletingASecondNameLeavesTheFileItNames) {
    testing_support::TempDir dir;
    testing_support::TempDir elsewhere;
    testing_support::writeFile(elsewhere.file("precious.txt"), "precious");
    ASSERT_TRUE(CreateHardLinkA(dir.file("link").c_str(), elsewhere.file("precious.txt").c_str(), nullptr));
    UniqueFile folder = openFolder(dir.path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), deleteRelative(folder.get(), L"link"));
    EXPECT_FALSE(testing_support::fileExists(dir.file("link")));
    EXPECT_EQ("precious", testing_support::readFile(elsewhere.file("precious.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), deleteRelative(folder.get(), L"link"));
}

}  // namespace
