// The settings API table: result codes, null arguments, load semantics and error reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer_rules.h"
#include "settings/settings_api.h"
#include "settings_test_files.h"

#ifndef _WIN32
#include "settings/settings_os.h"
#include "settings/wide_text.h"
#endif

namespace {

using settings_test::InstallerRules;
using settings_test::TempFolder;

class SettingsApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        config = api.createConfig();
        ASSERT_NE(config, nullptr);
    }
    void TearDown() override { api.destroyConfig(config); }

    int32_t load(const std::string& text, bool stopOnError, bool keysWithoutValue = false,
                 settings::ValidatorHandle validator = nullptr, settings::KeyMapperListHandle mappers = nullptr) {
        return api.loadText(config, text.c_str(), validator, mappers, stopOnError, keysWithoutValue);
    }
    std::vector<int32_t> errorLines() {
        const int32_t* first = nullptr;
        int32_t count = -1;
        EXPECT_EQ(api.getErrorLines(config, &first, &count), 0);
        return first ? std::vector<int32_t>(first, first + count) : std::vector<int32_t>();
    }
    std::vector<std::string> keys() {
        std::vector<std::string> seen;
        EXPECT_EQ(api.forEachKey(
                      config,
                      [](settings::ConfigHandle, int32_t, int32_t, const char* key, void* user) {
                          static_cast<std::vector<std::string>*>(user)->push_back(key);
                      },
                      &seen),
                  0);
        return seen;
    }
    std::string text(const char* key) {
        const char* value = nullptr;
        EXPECT_EQ(api.getString(config, key, &value), 0) << key;
        return value ? value : "";
    }

    const settings::settings_api api = settings::getSettingsApi();
    settings::ConfigHandle config = nullptr;
};

TEST_F(SettingsApiTest, TableHoldsEveryOperationInSlotOrder) {
    settings::settings_api table;
    std::memset(&table, 0xAB, sizeof(table));
    settings::initSettingsApi(table);
    void* const* slots = reinterpret_cast<void* const*>(&table);
    ASSERT_EQ(sizeof(table), 32 * sizeof(void*));
    for (int i = 0; i < 32; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
    EXPECT_EQ(reinterpret_cast<void*>(table.createConfig), slots[0]);
    EXPECT_EQ(reinterpret_cast<void*>(table.loadText), slots[4]);
    EXPECT_EQ(reinterpret_cast<void*>(table.getString), slots[11]);
    EXPECT_EQ(reinterpret_cast<void*>(table.addMapping), slots[31]);
}

TEST_F(SettingsApiTest, NullArgumentsReturn300AndTouchNothing) {
    ASSERT_EQ(load("A=1", true), 0);
    settings::ValidatorBuilderHandle rules = api.createValidatorBuilder();
    settings::KeyMapperBuilderHandle mapping = api.createKeyMapperBuilder();
    const char* text = "untouched";
    int32_t number = 77;
    double real = 7.5;
    const int32_t* lines = nullptr;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
    settings::FixedValueEntry entry{"x", 1, 1};
    auto callback = [](settings::ConfigHandle, int32_t, int32_t, const char*, void*) {};
    struct Case {
        const char* name;
        int32_t result;
    };
    const Case cases[] = {
        {"getRuntimeFilePath handle", api.getRuntimeFilePath(nullptr, &text)},
        {"getRuntimeFilePath out", api.getRuntimeFilePath(config, nullptr)},
        {"loadFile handle", api.loadFile(nullptr, "x", nullptr, nullptr, 1, 0)},
        {"loadFile path", api.loadFile(config, nullptr, nullptr, nullptr, 1, 0)},
        {"loadText handle", api.loadText(nullptr, "B=2", nullptr, nullptr, 1, 0)},
        {"loadText text", api.loadText(config, nullptr, nullptr, nullptr, 1, 0)},
        {"merge handle", api.merge(nullptr, config)},
        {"merge other", api.merge(config, nullptr)},
        {"getErrorLines handle", api.getErrorLines(nullptr, &lines, &number)},
        {"getErrorLines first", api.getErrorLines(config, nullptr, &number)},
        {"getErrorLines count", api.getErrorLines(config, &lines, nullptr)},
        {"saveFile handle", api.saveFile(nullptr, "x")},
        {"saveFile path", api.saveFile(config, nullptr)},
        {"isEmpty handle", api.isEmpty(nullptr, &number)},
        {"isEmpty out", api.isEmpty(config, nullptr)},
        {"equals handle", api.equals(nullptr, config, &number)},
        {"equals other", api.equals(config, nullptr, &number)},
        {"equals out", api.equals(config, config, nullptr)},
        {"forEachKey handle", api.forEachKey(nullptr, callback, nullptr)},
        {"forEachKey callback", api.forEachKey(config, nullptr, nullptr)},
        {"getString handle", api.getString(nullptr, "A", &text)},
        {"getString key", api.getString(config, nullptr, &text)},
        {"getString out", api.getString(config, "A", nullptr)},
        {"getBool key", api.getBool(config, nullptr, &number)},
        {"getBool out", api.getBool(config, "A", nullptr)},
        {"getInt handle", api.getInt(nullptr, "A", &number)},
        {"getInt out", api.getInt(config, "A", nullptr)},
        {"getDouble key", api.getDouble(config, nullptr, &real)},
        {"getDouble out", api.getDouble(config, "A", nullptr)},
        {"removeKey handle", api.removeKey(nullptr, "A")},
        {"removeKey key", api.removeKey(config, nullptr)},
        {"buildValidator builder", api.buildValidator(nullptr, &validator)},
        {"buildValidator out", api.buildValidator(rules, nullptr)},
        {"setTypeDirname key", api.setTypeDirname(rules, nullptr)},
        {"setTypeInt builder", api.setTypeInt(nullptr, "A")},
        {"setTypeBool key", api.setTypeBool(rules, nullptr)},
        {"setTypeDouble builder", api.setTypeDouble(nullptr, "A")},
        {"setAllowUnknownKeys builder", api.setAllowUnknownKeys(nullptr, 1)},
        {"setFixedValues builder", api.setFixedValues(nullptr, "A", &entry, 1)},
        {"setFixedValues key", api.setFixedValues(rules, nullptr, &entry, 1)},
        {"setFixedValues entries", api.setFixedValues(rules, "A", nullptr, 1)},
        {"setDirname key", api.setDirname(rules, nullptr, 0)},
        {"buildMappers builder", api.buildMappers(nullptr, &mappers)},
        {"buildMappers out", api.buildMappers(mapping, nullptr)},
        {"addMapping builder", api.addMapping(nullptr, "a", "b", 1)},
        {"addMapping from", api.addMapping(mapping, nullptr, "b", 1)},
        {"addMapping to", api.addMapping(mapping, "a", nullptr, 1)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, 300) << c.name;
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(number, 77);
    EXPECT_EQ(real, 7.5);
    EXPECT_EQ(validator, nullptr);
    EXPECT_EQ(mappers, nullptr);
    EXPECT_THAT(keys(), ::testing::ElementsAre("A"));
    // The destroy operations ignore null.
    EXPECT_EQ(api.destroyConfig(nullptr), 0);
    EXPECT_EQ(api.destroyValidator(nullptr), 0);
    EXPECT_EQ(api.destroyValidatorBuilder(nullptr), 0);
    EXPECT_EQ(api.destroyKeyMapperList(nullptr), 0);
    EXPECT_EQ(api.destroyKeyMapperBuilder(nullptr), 0);
    api.destroyKeyMapperBuilder(mapping);
    api.destroyValidatorBuilder(rules);
}

TEST_F(SettingsApiTest, ValuesReadThroughTheTable) {
    ASSERT_EQ(load("S=hello\nN=0x1F\nB=yes\nD=2.5\nK", true, true), 0);
    int32_t number = 0;
    double real = 0;
    EXPECT_EQ(text("S"), "hello");
    EXPECT_EQ(api.getInt(config, "N", &number), 0);
    EXPECT_EQ(number, 31);
    EXPECT_EQ(api.getBool(config, "B", &number), 0);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(api.getDouble(config, "D", &real), 0);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(api.getInt(config, "S", &number), 302);

    // A key without value reads as boolean 1 and has no text.
    number = 0;
    EXPECT_EQ(api.getBool(config, "K", &number), 0);
    EXPECT_EQ(number, 1);
    const char* value = "untouched";
    EXPECT_EQ(api.getString(config, "K", &value), 301);
    EXPECT_EQ(api.getString(config, "absent", &value), 303);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(api.getBool(config, "absent", &number), 303);
}

TEST_F(SettingsApiTest, KeysAreVisitedInByteOrder) {
    ASSERT_EQ(load("b=1\nB=2\na=3\nAB=4\nA=5\n\xC3\xA9=6", true), 0);
    EXPECT_THAT(keys(), ::testing::ElementsAre("A", "AB", "B", "a", "b", "\xC3\xA9"));
    struct Seen {
        int32_t count = 0;
        std::vector<int32_t> indexes;
    } seen;
    api.forEachKey(
        config,
        [](settings::ConfigHandle, int32_t count, int32_t index, const char*, void* user) {
            auto* s = static_cast<Seen*>(user);
            s->count = count;
            s->indexes.push_back(index);
        },
        &seen);
    EXPECT_EQ(seen.count, 6);
    EXPECT_THAT(seen.indexes, ::testing::ElementsAre(0, 1, 2, 3, 4, 5));
}

TEST_F(SettingsApiTest, ACallbackMayRemoveKeysWhileVisiting) {
    ASSERT_EQ(load("A=1\nB=2\nC=3", true), 0);
    std::vector<std::string> seen;
    struct Visit {
        const settings::settings_api* api;
        std::vector<std::string>* seen;
    } visit{&api, &seen};
    EXPECT_EQ(api.forEachKey(
                  config,
                  [](settings::ConfigHandle handle, int32_t, int32_t, const char* key, void* user) {
                      auto* v = static_cast<Visit*>(user);
                      v->seen->push_back(key);
                      v->api->removeKey(handle, key);
                  },
                  &visit),
              0);
    EXPECT_THAT(seen, ::testing::ElementsAre("A", "B", "C"));
    int32_t empty = 0;
    EXPECT_EQ(api.isEmpty(config, &empty), 0);
    EXPECT_EQ(empty, 1);
}

TEST_F(SettingsApiTest, BadSecondLineWithoutStopOnErrorKeepsTheGoodLine) {
    EXPECT_EQ(load("GOOD=1\n=bad", false), 313);
    EXPECT_THAT(keys(), ::testing::ElementsAre("GOOD"));
    EXPECT_THAT(errorLines(), ::testing::ElementsAre(1));
}

TEST_F(SettingsApiTest, BadSecondLineWithStopOnErrorStoresNothing) {
    ASSERT_EQ(load("OLD=1", true), 0);
    EXPECT_EQ(load("GOOD=1\n=bad\nLATER=2", true), 313);
    EXPECT_THAT(keys(), ::testing::ElementsAre("OLD"));
    EXPECT_THAT(errorLines(), ::testing::ElementsAre(1));
}

TEST_F(SettingsApiTest, EveryBadLineIsReportedZeroBasedAndWrittenToStandardError) {
    ::testing::internal::CaptureStderr();
    const int32_t result = load("A=1\nnovalue\n\n\t=5\nB=2\r\n:x", false);
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 313);
    EXPECT_THAT(errorLines(), ::testing::ElementsAre(1, 3, 5));
    EXPECT_THAT(keys(), ::testing::ElementsAre("A", "B"));
    EXPECT_EQ(written,
              "Error reading config file: \"Key without value\" at line 2; char 1\n"
              "Error reading config file: \"Empty key\" at line 4; char 2\n"
              "Error reading config file: \"Empty key\" at line 6; char 1\n");

    // The next load starts a fresh list.
    EXPECT_EQ(load("C=3", false), 0);
    EXPECT_TRUE(errorLines().empty());
}

TEST_F(SettingsApiTest, LaterLinesAndLaterLoadsWin) {
    ASSERT_EQ(load("K=1\nK=2\nL=x", true), 0);
    ASSERT_EQ(load("L=y", true), 0);
    EXPECT_EQ(text("K"), "2");
    EXPECT_EQ(text("L"), "y");
}

TEST_F(SettingsApiTest, TextThatIsNotUtf8FailsBeforeAnyLine) {
    ASSERT_EQ(load("OLD=1", true), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(load("NEW=1\n=bad\n# comment \xFF", false), 314);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(keys(), ::testing::ElementsAre("OLD"));
    EXPECT_TRUE(errorLines().empty());
}

TEST_F(SettingsApiTest, MergeEqualsIsEmptyAndRemoveKey) {
    settings::ConfigHandle other = api.createConfig();
    int32_t flag = -1;
    EXPECT_EQ(api.isEmpty(config, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(api.equals(config, other, &flag), 0);
    EXPECT_EQ(flag, 1);

    ASSERT_EQ(load("A=1\nK=1", true), 0);
    ASSERT_EQ(api.loadText(other, "K\nB=2", nullptr, nullptr, 1, 1), 0);
    EXPECT_EQ(api.equals(config, other, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(api.merge(config, other), 0);
    EXPECT_THAT(keys(), ::testing::ElementsAre("A", "B", "K"));
    const char* value = nullptr;
    EXPECT_EQ(api.getString(config, "K", &value), 301) << "a valueless key of the other replaces K=1";

    EXPECT_EQ(api.removeKey(config, "Z"), 303);
    EXPECT_THAT(keys(), ::testing::ElementsAre("A", "B", "K"));
    EXPECT_EQ(api.removeKey(config, "A"), 0);
    EXPECT_THAT(keys(), ::testing::ElementsAre("B", "K"));
    EXPECT_EQ(api.equals(config, other, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(api.isEmpty(config, &flag), 0);
    EXPECT_EQ(flag, 0);
    api.destroyConfig(other);
}

TEST_F(SettingsApiTest, RuntimeFilePathEndsInTheSettingsFileName) {
    const char* path = nullptr;
    ASSERT_EQ(api.getRuntimeFilePath(config, &path), 0);
    const std::string text(path);
    const std::string tail = "\\Vantrel\\Zolt\\zolt.settings.cfg";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
#ifdef _WIN32
    EXPECT_EQ(text, "C:\\ProgramData" + tail);
#endif
}

TEST_F(SettingsApiTest, ValidatorBuilderAndSetFixedValuesStopAtABadEntry) {
    settings::ValidatorBuilderHandle rules = api.createValidatorBuilder();
    const settings::FixedValueEntry entries[] = {{"on", 1, 0}, {nullptr, 2, 0}, {"off", 0, 0}};
    EXPECT_EQ(api.setFixedValues(rules, "F", entries, 3), 300);
    ASSERT_EQ(api.setTypeDouble(rules, "D"), 0);
    ASSERT_EQ(api.setTypeBool(rules, "B"), 0);
    settings::ValidatorHandle validator = nullptr;
    ASSERT_EQ(api.buildValidator(rules, &validator), 0);
    EXPECT_EQ(load("F=ON\nD=1e3\nB", true, true, validator), 0);
    EXPECT_EQ(load("F=off", true, false, validator), 313) << "the entry after the bad one was not registered";
    int32_t number = 0;
    double real = 0;
    EXPECT_EQ(api.getInt(config, "F", &number), 0);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(text("F"), "ON");
    EXPECT_EQ(api.getDouble(config, "D", &real), 0);
    EXPECT_EQ(real, 1000.0);
    EXPECT_EQ(load("X=1", true, false, validator), 313) << "unknown keys are refused by default";
    ASSERT_EQ(api.setAllowUnknownKeys(rules, 1), 0);
    settings::ValidatorHandle lenient = nullptr;
    ASSERT_EQ(api.buildValidator(rules, &lenient), 0);
    EXPECT_EQ(load("X=1", true, false, lenient), 0);
    api.destroyValidator(lenient);
    api.destroyValidator(validator);
    api.destroyValidatorBuilder(rules);
}

TEST_F(SettingsApiTest, InstallerRulesMapKeysAndRefuseWhatTheyDoNotKnow) {
    InstallerRules rules(api);
    ASSERT_EQ(load(settings_test::installerDefaultSettings(), true, false, rules.validator, rules.mappers), 0);
    struct Case {
        const char* line;
        int32_t result;
        const char* key;
        const char* text;
        int32_t number;
    };
    const Case cases[] = {
        {"install_silent=Enable", 0, "INSTALL_SILENT", "Enable", 1},
        {"INSTALL_SILENT=enable", 313, nullptr, nullptr, 0},
        {"EULA=Yes", 313, nullptr, nullptr, 0},
        {"web_zolt_security_level=VH", 0, "WEB_ZOLT_SECURITY_LEVEL", "VH", 4},
        {"WEB_ZOLT_SECURITY_LEVEL=5", 313, nullptr, nullptr, 0},
        {"/LANG=0x411", 0, "/lang", "0x411", 1041},
        {"FOO=1", 313, nullptr, nullptr, 0},
        {"installdir=C:\\Program Files\\Zolt", 0, "INSTALLDIR", "C:\\Program Files\\Zolt", 0},
        {"INSTALLDIR=relative\\dir", 313, nullptr, nullptr, 0},
        {"ADDLOCAL=anything, really", 0, "ADDLOCAL", "anything, really", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(load(c.line, true, false, rules.validator, rules.mappers), c.result);
        ::testing::internal::GetCapturedStderr();
        if (!c.key) continue;
        EXPECT_EQ(text(c.key), c.text);
        int32_t number = -1;
        if (c.number) {
            EXPECT_EQ(api.getInt(config, c.key, &number), 0);
            EXPECT_EQ(number, c.number);
        }
    }
    // Switches arrive without value and bypass validation.
    EXPECT_EQ(load("/s", true, true, rules.validator, rules.mappers), 0);
    int32_t on = 0;
    EXPECT_EQ(api.getBool(config, "/s", &on), 0);
    EXPECT_EQ(on, 1);
    int32_t flag = -1;
    EXPECT_EQ(api.getInt(config, "AUTO_UPDATE", &flag), 0);
    EXPECT_EQ(flag, 1);
}

class SettingsApiFileTest : public SettingsApiTest {
protected:
    TempFolder folder;
};

TEST_F(SettingsApiFileTest, SaveAndLoadRoundTrip) {
    ASSERT_EQ(load("B=2\nA=x y\nC", true, true), 0);
    const std::string name = folder.name("sub\\dir\\saved.cfg");
    ASSERT_EQ(api.saveFile(config, name.c_str()), 0);
    settings::ConfigHandle copy = api.createConfig();
    EXPECT_EQ(api.loadFile(copy, name.c_str(), nullptr, nullptr, 1, 1), 0);
    int32_t equal = 0;
    EXPECT_EQ(api.equals(config, copy, &equal), 0);
    EXPECT_EQ(equal, 1);
    api.destroyConfig(copy);
}

// The bytes a writer outside the engine puts in place are exactly what a save writes: LF in a new file, CR LF in
// one that replaces a file.
TEST_F(SettingsApiFileTest, TheTextOfASaveIsWhatTheSaveWrites) {
    ASSERT_EQ(load("B=2\nA=x y\nC", true, true), 0);
    const std::string name = folder.name("text.cfg");
    for (bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        std::string text;
        ASSERT_EQ(settings::settingsFileText(config, replacing, text), 0);
        EXPECT_EQ(replacing ? "A=x y\r\nB=2\r\nC\r\n" : "A=x y\nB=2\nC\n", text);
        ASSERT_EQ(api.saveFile(config, name.c_str()), 0);
        EXPECT_EQ(text, settings_test::readBytes(folder.path() / "text.cfg"));
    }
    settings::ConfigHandle empty = api.createConfig();
    std::string text;
    EXPECT_EQ(settings::settingsFileText(empty, false, text), 0);
    EXPECT_EQ(" ", text);
    api.destroyConfig(empty);
    EXPECT_EQ(settings::RESULT_NULL_ARGUMENT, settings::settingsFileText(nullptr, false, text));
}

TEST_F(SettingsApiFileTest, FileFailuresLeaveTheConfigurationUntouched) {
    ASSERT_EQ(load("OLD=1", true), 0);
    settings_test::writeBytes(folder.path() / "bad.cfg", "A=1\n\xC0");
    settings_test::writeBytes(folder.path() / "big.cfg", std::string(1048576, '#'));
    struct Case {
        std::string path;
        int32_t result;
    };
    const Case cases[] = {
        {folder.name("missing.cfg"), 304},
        {folder.name("bad.cfg"), 314},
        {folder.name("big.cfg"), 315},
        {folder.name("a<b.cfg"), 311},
        {"C:\\..\\x.cfg", 311},
        {"C:\\" + std::string(300, 'x'), 310},
        {std::string("C:\\\xFF.cfg"), 312},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(api.loadFile(config, c.path.c_str(), nullptr, nullptr, 0, 0), c.result);
        EXPECT_THAT(keys(), ::testing::ElementsAre("OLD"));
        EXPECT_TRUE(errorLines().empty());
    }
}

TEST_F(SettingsApiFileTest, LargestAcceptedFileLoadsAndOneByteMoreIsRefused) {
    // Lines of installer options, then comment padding to exactly one byte under the limit.
    std::string text;
    while (text.size() < 1048576 - 100) text += "AUTO_UPDATE=Enable\n";
    text += "# ";
    text.resize(1048575, 'x');
    settings_test::writeBytes(folder.path() / "largest.cfg", text);
    InstallerRules rules(api);
    const std::string name = folder.name("largest.cfg");
    EXPECT_EQ(api.loadFile(config, name.c_str(), rules.validator, rules.mappers, 1, 0), 0);
    EXPECT_THAT(keys(), ::testing::ElementsAre("AUTO_UPDATE"));
    settings_test::writeBytes(folder.path() / "largest.cfg", text + "x");
    EXPECT_EQ(api.loadFile(config, name.c_str(), rules.validator, rules.mappers, 1, 0), 315);
}

#ifndef _WIN32
// The native build takes its settings folder from the test; the Windows build asks the system.
TEST_F(SettingsApiFileTest, RuntimeSettingsFileIsCreatedWithItsFoldersAndRewritten) {
    settings_impl::os::setCommonAppDataFolder(settings_impl::utf8ToWide(folder.name("ProgramData")));
    settings::ConfigHandle fresh = api.createConfig();
    settings_impl::os::setCommonAppDataFolder(L"C:\\var\\lib");
    const char* path = nullptr;
    ASSERT_EQ(api.getRuntimeFilePath(fresh, &path), 0);
    EXPECT_EQ(std::string(path), folder.name("ProgramData") + "\\Vantrel\\Zolt\\zolt.settings.cfg");
    ASSERT_EQ(api.loadText(fresh, "EULA=Enable\nAUTO_UPDATE=Disable", nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(api.saveFile(fresh, path), 0);
    const auto file = folder.path() / "ProgramData" / "Vantrel" / "Zolt" / "zolt.settings.cfg";
    EXPECT_EQ(settings_test::readBytes(file), "AUTO_UPDATE=Disable\nEULA=Enable\n");
    ASSERT_EQ(api.removeKey(fresh, "EULA"), 0);
    ASSERT_EQ(api.saveFile(fresh, path), 0);
    EXPECT_EQ(settings_test::readBytes(file), "AUTO_UPDATE=Disable\r\n");
    EXPECT_EQ(api.loadFile(config, path, nullptr, nullptr, 1, 0), 0);
    EXPECT_EQ(text("AUTO_UPDATE"), "Disable") << "the CR LF file reads back the same";
    api.destroyConfig(fresh);
}
#endif

}  // namespace
