// What killed runs left beside the settings file: the next write removes its own plain leftovers only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/settings_os.h"
#include "settings_test_files.h"

namespace {

namespace fs = std::filesystem;

enum class Kind { PlainFile, Folder, FileWithSecondName };

struct Leftover {
    const char* what;
    const char* name;
    Kind kind;
    bool removed;
};

const Leftover kLeftovers[] = {
    {"a leftover of a killed run", "zolt.settings.cfg.0123456789abcdef.tmp", Kind::PlainFile, true},
    {"upper-case hex digits", "zolt.settings.cfg.0123456789ABCDEF.tmp", Kind::PlainFile, true},
    {"15 hex digits", "zolt.settings.cfg.0123456789abcde.tmp", Kind::PlainFile, false},
    {"17 hex digits", "zolt.settings.cfg.0123456789abcdef0.tmp", Kind::PlainFile, false},
    {"a digit that is not hex", "zolt.settings.cfg.0123456789abcdeg.tmp", Kind::PlainFile, false},
    {"a folder of that name", "zolt.settings.cfg.1111222233334444.tmp", Kind::Folder, false},
    {"a file with a second name", "zolt.settings.cfg.5555666677778888.tmp", Kind::FileWithSecondName, false},
    {"another file's leftover", "other.settings.cfg.0123456789abcdef.tmp", Kind::PlainFile, false},
    {"another ending", "zolt.settings.cfg.0123456789abcdef.tmp2", Kind::PlainFile, false},
};

void plant(const fs::path& folder, const Leftover& leftover) {
    const fs::path path = folder / leftover.name;
    switch (leftover.kind) {
    case Kind::PlainFile: settings_test::writeBytes(path, "half a settings file"); break;
    case Kind::Folder:
        fs::create_directory(path);
        settings_test::writeBytes(path / "inside.txt", "kept");
        break;
    case Kind::FileWithSecondName:
        settings_test::writeBytes(folder / "second-name.txt", "shared");
        fs::create_hard_link(folder / "second-name.txt", path);
        break;
    }
}

// Both ways of writing: the first file of a folder, and a rewrite of an existing one.
TEST(LeftoverTemporaryFiles, TheWriteRemovesOnlyItsOwnPlainLeftovers) {
    for (bool existing : {false, true}) {
        for (const Leftover& leftover : kLeftovers) {
            SCOPED_TRACE(std::string(leftover.what) + (existing ? ", rewrite" : ", new file"));
            settings_test::TempFolder folder;
            const fs::path file = folder.path() / "zolt.settings.cfg";
            if (existing) settings_test::writeBytes(file, "OLD=1\r\n");
            plant(folder.path(), leftover);
            const std::wstring name = file.wstring();
            if (existing) settings_impl::os::replaceSettingsFile(name, "NEW=1\n");
            else settings_impl::os::createNewSettingsFile(name, "NEW=1\n");
            EXPECT_EQ(settings_test::readBytes(file), "NEW=1\n");
            EXPECT_EQ(!fs::exists(folder.path() / leftover.name), leftover.removed);
            if (leftover.kind == Kind::Folder) {
                EXPECT_TRUE(fs::exists(folder.path() / leftover.name / "inside.txt"));
            }
            if (leftover.kind == Kind::FileWithSecondName) {
                EXPECT_EQ(settings_test::readBytes(folder.path() / "second-name.txt"), "shared");
            }
            // Nothing of this write's own is left either.
            size_t entries = 0;
            for (const auto& entry : fs::directory_iterator(folder.path())) {
                (void)entry;
                ++entries;
            }
            const size_t expected = 1 + (leftover.removed ? 0 : 1) + (leftover.kind == Kind::FileWithSecondName);
            EXPECT_EQ(entries, expected);
        }
    }
}

// A leftover some other process still holds (a writer at work) is not taken from under it.
TEST(LeftoverTemporaryFiles, AnOpenTemporaryFileIsLeftAlone) {
    settings_test::TempFolder folder;
    const fs::path file = folder.path() / "zolt.settings.cfg";
    const fs::path busy = folder.path() / "zolt.settings.cfg.aaaabbbbccccdddd.tmp";
    settings_test::writeBytes(busy, "being written");
    HANDLE held = CreateFileW(busy.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    settings_impl::os::createNewSettingsFile(file.wstring(), "NEW=1\n");
    CloseHandle(held);
    EXPECT_TRUE(fs::exists(busy));
    EXPECT_EQ(settings_test::readBytes(busy), "being written");
}

}  // namespace
