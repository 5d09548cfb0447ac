// FileName: validation codes, splitting, canonical form and parent folder creation.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "settings/file_name.h"
#include "settings/settings_exception.h"
#include "settings/wide_text.h"
#include "settings_test_files.h"

namespace settings_impl {
namespace {

int32_t codeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const settings::Exception& e) {
        return e.code;
    }
    return 0;
}

TEST(FileName, ValidationCodes) {
    struct Case {
        std::string text;
        int32_t code;
    };
    const Case cases[] = {
        {"", 0}, {"C:\\a\\b.cfg", 0}, {"relative/x", 0}, {"C:\\con\\x", 0}, {"C:\\LPT10", 0},
        {"C:\\a\xFF", 312}, {"C:\\" + std::string(257, 'a'), 310}, {"C:\\" + std::string(256, 'a'), 0},
        {"C:\\CON\\x", 311}, {"NUL", 311}, {"C:\\COM1", 311}, {"C:\\a<b", 311}, {"C:\\a|b", 311},
        {"C:\\a?", 311}, {"C:\\a*", 311}, {"C:\\a\"b", 311}, {"C:\\a\tb", 311}, {"a:b", 311}, {"C:\\x\\D:", 311},
        {"\xED\xA0\x80", 200},  // accepted as UTF-8 by the engine, refused by the wide conversion
    };
    for (const Case& c : cases) EXPECT_EQ(codeOf([&] { FileName{c.text}; }), c.code) << c.text;
    const FileName name("C:\\\xC3\xA9");
    EXPECT_EQ(name.wide(), L"C:\\\u00E9");
    EXPECT_FALSE(name.isCanonical());
}

TEST(FileName, SplitKeepsDotDotAndDropsEmptyAndDot) {
    const FileName::Split split = FileName::splitComponents("C:\\a\\.\\\\b\\..\\c\\");
    EXPECT_TRUE(split.absolute);
    EXPECT_EQ(split.components, (std::vector<std::string>{"C:", "a", "b", "..", "c"}));
    EXPECT_FALSE(FileName::splitComponents("\\\\server\\share").absolute);
    EXPECT_FALSE(FileName::splitComponents("C:x").absolute);
    EXPECT_TRUE(FileName::splitComponents("z:").absolute);
    EXPECT_EQ(codeOf([] { FileName::splitComponents(""); }), 311);
}

TEST(FileName, CanonicalForm) {
    struct Case {
        const char* text;
        const char* canonical;
        int32_t code;
    };
    const Case cases[] = {
        {"C:\\a\\.\\b\\..\\c\\", "C:/a/c", 0},
        {"c:/x/y/../../z", "c:/z", 0},
        {"C:\\a\\..\\..", nullptr, 311},
        {"C:\\..\\x", nullptr, 311},   // `..` straight after the drive is refused
        {"C:\\..", nullptr, 311},
        {"", nullptr, 311},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string result;
        EXPECT_EQ(codeOf([&] { result = FileName(c.text).canonicalize().utf8(); }), c.code);
        if (c.canonical) {
            EXPECT_EQ(result, c.canonical);
        }
    }
    const FileName canonical = FileName("C:\\a").canonicalize();
    EXPECT_TRUE(canonical.isCanonical());
    EXPECT_EQ(canonical.canonicalize().utf8(), "C:/a");
}

TEST(FileName, RelativeNamesStartAtTheCurrentDirectory) {
    settings_test::TempFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    std::string result;
    const int32_t code = codeOf([&] { result = FileName("x\\..\\y\\z.cfg").canonicalize().utf8(); });
    // The joined name is checked again, so the length limit applies after joining.
    const int32_t longCode = codeOf([] { FileName(std::string(250, 'r')).canonicalize(); });
    std::filesystem::current_path(before);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(longCode, 310);
    const std::string expected = FileName(settings_test::engineName(folder.path() / "y" / "z.cfg")).canonicalize().utf8();
    EXPECT_EQ(result, expected);
    EXPECT_EQ(result.find('\\'), std::string::npos);
}

TEST(FileName, ParentDirectoriesAreMadeButNeverTheFile) {
    settings_test::TempFolder folder;
    const FileName name = FileName(folder.name("a\\b\\c\\f.cfg")).canonicalize();
    name.createParentDirectories();
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "a" / "b" / "c"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "a" / "b" / "c" / "f.cfg"));
    name.createParentDirectories();  // existing folders are fine

    settings_test::writeBytes(folder.path() / "file", "x");
    const FileName blocked = FileName(folder.name("file\\sub\\f.cfg")).canonicalize();
    EXPECT_EQ(codeOf([&] { blocked.createParentDirectories(); }), 311);
    EXPECT_THROW(FileName(folder.name("x\\f.cfg")).createParentDirectories(), std::logic_error);
}

}  // namespace
}  // namespace settings_impl
