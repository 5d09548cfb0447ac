// The supported UI locales, the choice among the user's languages, and the system's preferred-language list.
#include <gtest/gtest.h>

#include "platform/ui_locale.h"
#include "test_support.h"

namespace {

TEST(UiLocaleTest, FromLangIdKnowsOnlyTheTableLangIds) {
    EXPECT_STREQ(Locale::fromLangId(1033).name(), "en");
    EXPECT_STREQ(Locale::fromLangId(2052).name(), "zh_CN");
    EXPECT_STREQ(Locale::fromLangId(2052).altName(), "zh");
    EXPECT_STREQ(Locale::fromLangId(1041).name(), "ja");
    for (uint16_t id : {1036, 9, 17, 4, 0}) {
        SCOPED_TRACE(id);
        try {
            Locale::fromLangId(id);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            std::string what = e.what();
            EXPECT_NE(what.find("unsupported locale langId: " + std::to_string(id)), std::string::npos) << what;
            EXPECT_NE(what.find("Locale::fromLangId"), std::string::npos) << what;
        }
    }
}

TEST(UiLocaleTest, IsSupportedMatchesTheMatchIdsExactly) {
    struct Case {
        uint16_t id;
        uint16_t langId;  // 0: not supported
    } cases[] = {{9, 1033}, {1033, 0}, {2052, 2052}, {4100, 2052}, {4, 2052}, {1028, 0},
                 {17, 1041}, {1041, 0}, {0, 0},       {12, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Locale out = Locale::defaultLocale();
        EXPECT_EQ(Locale::isSupported(c.id, out), c.langId != 0);
        if (c.langId) {
            EXPECT_EQ(out.langId(), c.langId);
        }
    }
}

TEST(UiLocaleTest, TheFallbackListAddsPrimaryLanguagesAndEndsInEnglish) {
    EXPECT_EQ(Locale::fallbackLanguages(1036, 1036, 1036),
              (std::vector<uint16_t>{1036, 12, 1036, 12, 1036, 12, 1033, 9}));
    struct Case {
        const char* name;
        LANGID thread, user, system;
        uint16_t chosen;
    } cases[] = {
        {"French only ends on English through 9", 1036, 1036, 1036, 1033},
        {"Traditional Chinese selects zh_CN through 4", 1028, 1033, 1033, 2052},
        {"Japanese user language after a French thread locale", 1036, 1041, 1033, 1041},
        {"Chinese Singapore", 4100, 1033, 1033, 2052},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Locale::firstSupported(Locale::fallbackLanguages(c.thread, c.user, c.system)).langId(), c.chosen);
    }
    EXPECT_EQ(Locale::firstSupported({}).langId(), 1033);
}

TEST(UiLocaleTest, ParsesTheSystemsHexadecimalList) {
    EXPECT_EQ(Locale::parseLanguageList(std::wstring(L"0411\0" L"0409\0\0", 11)), (std::vector<uint16_t>{0x411, 0x409}));
    for (const wchar_t* bad : {L"04G1", L"10000", L"-409"}) {
        try {
            Locale::parseLanguageList(std::wstring(bad) + L'\0');
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot get langID: "), std::string::npos) << e.what();
        }
    }
}

TEST(UiLocaleTest, TheSystemListComesFromTheVistaCall) {
    testing_support::LogCapture log;
    std::vector<uint16_t> ids = Locale::preferredLanguages();
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(log.count("PreferredUILanguages: Vista+"), 1);
    EXPECT_EQ(Locale::fromUserPreferences().langId(), Locale::firstSupported(ids).langId());
}

}  // namespace
