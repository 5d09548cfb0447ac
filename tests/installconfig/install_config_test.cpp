// The installer configuration under Wine against the real settings engine: options, command line, pipeline and
// messages through the pipeline, the runtime settings file through what the flow uses.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <regex>

#include "config_test_support.h"
#include "installconfig/argument_import.h"
#include "installconfig/config_pipeline.h"
#include "installconfig/install_config_data.h"
#include "platform/entry_trust.h"
#include "platform/owner_trust_running_account.h"
#include "platform/protected_entries.h"
#include "platform/relative_create.h"
#include "settings/settings_os.h"
#include "platform/win_handles.h"
#include "test_support.h"

using config_test::commandLine;
using config_test::RuntimeFileGuard;
using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// Wine reports every file and folder as owned by the running account; the owner rules themselves are tested
// with supplied descriptors.
const bool ownersAsWineReportsThem = (trustRunningAccountAsOwner(), true);

class InstallConfigTest : public ::testing::Test {
protected:
    // The message of string 3089 for a list of bad arguments, as the log shows its first line.
    static std::string badSwitchesLine(const std::string& list) { return list + "."; }

    int load(const std::vector<std::string>& args) { return config.LoadConfigSettings(commandLine(args).c_str()); }

    std::string workingString(const char* key) {
        const char* value = nullptr;
        settings::settings_api api = settings::getSettingsApi();
        return api.getString(config.working().config, key, &value) == 0 ? value : "<none>";
    }
    std::string exportString(const char* key) {
        const char* value = nullptr;
        settings::settings_api api = settings::getSettingsApi();
        return api.getString(config.exported().config, key, &value) == 0 ? value : "<none>";
    }
    static bool isEmpty(const ConfigSlot& slot) {
        int32_t empty = 0;
        slot.api.isEmpty(slot.config, &empty);
        return empty != 0;
    }

    RuntimeFileGuard runtimeFile;
    LogCapture log;
    TempDir dir;
    ConfigPipeline config{GetModuleHandleA(nullptr)};
};

// How often `text` occurs in the log file; unlike LogCapture::count it sees every line of a record.
int occurrences(const LogCapture& log, const std::string& text) {
    std::string raw = log.raw();
    int n = 0;
    for (size_t at = raw.find(text); at != std::string::npos; at = raw.find(text, at + text.size())) ++n;
    return n;
}

int32_t settingsCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const settings::Exception& e) {
        return e.code;
    }
    return 0;
}

TEST(ArgumentMatchingTest, FindsTheFirstRowThatMatches) {
    ConfigPipeline config(GetModuleHandleA(nullptr));
    struct Case {
        const char* argument;
        const char* row;  // null: no row
    } cases[] = {
        {"/qn", "/q"},
        {"/Qb", "/q"},
        {"/l*v", "/l"},
        {"/L+!V", "/l"},
        {"/lang", nullptr},    // not the log switch: "ang" are not all log modes
        {"/layout", nullptr},
        {"/l*v=C:\\x.log", nullptr},
        {"/lang=1041", "/lang"},
        {"/LANG:2052", "/lang"},
        {"install_silent=Enable", "INSTALL_SILENT"},
        {"EULA:Disable", "EULA"},
        {"/S", "/s"},
        {"-DOWNLOAD", "-download"},
        {"/installurl=http://x", "/installurl"},
        {"INSTALL_SILENT", nullptr},  // a flag needs a value
        {"/s=1", nullptr},            // a switch takes none
        {"/q=1", nullptr},
        {"FOO=1", nullptr},
        {"INSTALLDIRX=C:\\a", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        const OptionDescriptor* row = config.findDescriptor(c.argument);
        if (!c.row) {
            EXPECT_EQ(row, nullptr);
        } else {
            ASSERT_NE(row, nullptr);
            EXPECT_STREQ(row->name, c.row);
        }
    }
}

// The log is placed before the configuration is read: the folder after the last /log, when it can be one.
TEST(ArgumentMatchingTest, TheLogFolderIsTheArgumentAfterLog) {
    struct Case {
        std::vector<std::string> args;  // element 0 the program
        std::optional<std::string> folder;
    } cases[] = {
        {{"x.exe", "/s"}, std::nullopt},
        {{"x.exe", "/s", "/LOG", "D:\\logs"}, "D:\\logs"},
        {{"x.exe", "/log", "C:\\a", "/log", "C:\\b"}, "C:\\b"},
        {{"x.exe", "/l", "C:\\x.log"}, std::nullopt},
        {{"x.exe", "/log"}, std::nullopt},
        {{"x.exe", "/log", "/s"}, std::nullopt},
        {{"x.exe", "/log", "INSTALLDIR=C:\\k"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(c.folder, logFolderArgument(c.args));
    }
}

// Before the configuration is read, the help decides from the arguments alone whether a box may be shown.
TEST(ArgumentMatchingTest, SilenceIsAskedBySwitchesOrAnEnabledSilentFlag) {
    struct Case {
        std::vector<std::string> args;  // element 0 the program
        bool silent;
    } cases[] = {
        {{"/s"}, false},  // the program's own name is no argument
        {{"x.exe", "/help"}, false},
        {{"x.exe", "/help", "/S"}, true},
        {{"x.exe", "-DOWNLOAD"}, true},
        {{"x.exe", "install_silent=Enable"}, true},
        {{"x.exe", "INSTALL_SILENT:1"}, true},
        {{"x.exe", "INSTALL_SILENT=Disable"}, false},
        {{"x.exe", "INSTALL_SILENT=enable"}, false},  // flag values are exact
        {{"x.exe", "/s=1"}, false},                   // a switch takes no value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(argumentsAskSilence(c.args), c.silent);
    }
}

TEST_F(InstallConfigTest, NoSourcesGiveTheDefaultsOnly) {
    ASSERT_EQ(load({}), 0);
    EXPECT_TRUE(isEmpty(config.exported()));
    EXPECT_TRUE(isEmpty(config.backup()));
    int keys = 0;
    config.working().api.forEachKey(
        config.working().config, [](settings::ConfigHandle, int32_t, int32_t, const char*, void* n) { ++*static_cast<int*>(n); },
        &keys);
    EXPECT_EQ(keys, 7);
    EXPECT_TRUE(config.getFlag(FLAG_AUTO_UPDATE));
    EXPECT_FALSE(config.getFlag(FLAG_INSTALL_SILENT));
    EXPECT_FALSE(config.isSilent());
    EXPECT_EQ(settingsCode([&] { config.getFlag(FLAG_NOSTARTMENU); }), 303);
    EXPECT_FALSE(config.isFlagOn(FLAG_NOSTARTMENU));
    EXPECT_TRUE(occurrences(log, "Default config settings are: "));
}

TEST_F(InstallConfigTest, StoresSwitchesOptionsAndThePassThroughText) {
    ASSERT_EQ(load({"/s", "INSTALLDIR=C:\\kit", "/qn", "ADDLOCAL=ToolsFeature", "install_silent=Enable",
                    "WEB_ZOLT_SECURITY_LEVEL=VH", "/lang=1041"}),
              0);
    EXPECT_TRUE(config.isOptionSet("/s"));
    EXPECT_TRUE(config.isOptionSet("/q"));
    EXPECT_FALSE(config.isOptionSet("/qn"));
    EXPECT_EQ(std::string(config.getValue(VALUE_INSTALLDIR)), "C:\\kit");
    EXPECT_EQ(std::string(config.getValue(VALUE_ADDLOCAL)), "ToolsFeature");
    EXPECT_EQ(config.getValueAnsi(VALUE_MSI_CMDLINE), "/qn ADDLOCAL=ToolsFeature");
    EXPECT_TRUE(config.isFlagOn(FLAG_INSTALL_SILENT));
    EXPECT_TRUE(config.isSilent());
    EXPECT_EQ(config.getLanguageId(), 1041);
    int32_t level = 0;
    EXPECT_EQ(config.working().api.getInt(config.working().config, "WEB_ZOLT_SECURITY_LEVEL", &level), 0);
    EXPECT_EQ(level, 4);
    EXPECT_EQ(config.getMsiLogFile(), "");
}

// What the flow reads: each answer comes from its own option, so every value given here is distinct.
TEST(FlowAccessorsTest, EachAnswerComesFromItsOwnOption) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::optional<LANGID> language;
        std::optional<std::string> publicRuntimeDir;
        std::optional<std::string> installDir;
        std::optional<std::string> installerArguments;
        bool rebootReallySuppressed;
        bool startMenuSuppressed;
        bool featuresChosen;
        bool autoUpdateOn;
        std::string installerLogFile;
        int installerWaitSeconds;
    } cases[] = {
        {"nothing given", {"/s"}, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false, false, true, "",
         600},
        {"each given",
         {"/s", "/lang=1041", "/INSTALLDIRPUBPLN=C:\\pub", "INSTALLDIR=C:\\kit", "REBOOT=ReallySuppress",
          "NOSTARTMENU=Enable", "ADDLOCAL=Tools", "AUTO_UPDATE=Disable", "/l", "C:\\x.log", "INSTALLER_WAIT=5"},
         LANGID{1041}, "C:\\pub", "C:\\kit", "REBOOT=ReallySuppress ADDLOCAL=Tools", true, true, true, false,
         "C:\\x.log", 5},
        {"given but off", {"/s", "REBOOT=Suppress", "NOSTARTMENU=Disable", "ADDLOCAL=", "AUTO_UPDATE=Enable"},
         std::nullopt, std::nullopt, std::nullopt, "REBOOT=Suppress ADDLOCAL=", false, false, true, true, "", 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeFileGuard runtimeFile;
        InstallConfigData config(GetModuleHandleA(nullptr));
        ASSERT_EQ(config.LoadConfigSettings(commandLine(c.args).c_str()), 0);
        EXPECT_TRUE(config.isSilent());
        EXPECT_EQ(config.language(), c.language);
        EXPECT_EQ(config.publicRuntimeDir(), c.publicRuntimeDir);
        EXPECT_EQ(config.installDir(), c.installDir);
        EXPECT_EQ(config.installerArguments(), c.installerArguments);
        EXPECT_EQ(config.rebootReallySuppressed(), c.rebootReallySuppressed);
        EXPECT_EQ(config.startMenuSuppressed(), c.startMenuSuppressed);
        EXPECT_EQ(config.featuresChosen(), c.featuresChosen);
        EXPECT_EQ(config.autoUpdateOn(), c.autoUpdateOn);
        EXPECT_EQ(config.installerLogFile(), c.installerLogFile);
        EXPECT_EQ(config.installerWaitSeconds(), c.installerWaitSeconds);
    }
}

// /l is the log switch only when log modes alone follow it, and the argument after it is taken as the log's path
// only when it cannot be an option or a switch meant for the launcher: nothing the administrator gave is lost.
TEST_F(InstallConfigTest, ArgumentsThatBeginWithTheLogSwitch) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int result;
        const char* badList;  // the message's list when refused
        const char* logFile;
        const char* logModes;
    } cases[] = {
        {"bare switch", {"/s", "/l", "C:\\log dir\\x.log"}, 0, "", "C:\\log dir\\x.log", ""},
        {"verbose modes kept", {"/s", "/l*v", "C:\\x.log"}, 0, "", "C:\\x.log", "*v"},
        {"modes in upper case", {"/s", "/L+!V", "C:\\x.log"}, 0, "", "C:\\x.log", "+!V"},
        {"/lang with a value", {"/s", "/lang=1041"}, 0, "", "", ""},
        {"/lang without = or :", {"/s", "/lang", "1041"}, 313, "\"/lang\";\"1041\";", "", ""},
        {"/layout", {"/s", "/layout", "C:\\lay"}, 313, "\"/layout\";\"C:\\lay\";", "", ""},
        {"an option after /l*v", {"/s", "/l*v", "REBOOT=ReallySuppress"}, 313, "\"/l*v\";", "", ""},
        {"a switch after /l*v", {"/l*v", "/s"}, 313, "\"/l*v\";", "", ""},
        {"a dash switch after /l", {"/s", "/l", "-download"}, 313, "\"/l\";", "", ""},
        {"nothing after /l", {"/s", "/l"}, 313, "\"/l\";", "", ""},
        // /log takes the folder after it the same way, and is no log switch with modes "og".
        {"/log with its folder", {"/s", "/log", "C:\\logs"}, 0, "", "", ""},
        {"/log and /l together", {"/s", "/log", "C:\\logs", "/l*v", "C:\\x.log"}, 0, "", "C:\\x.log", "*v"},
        {"nothing after /log", {"/s", "/log"}, 313, "\"/log\";", "", ""},
        {"a switch after /log", {"/log", "/s"}, 313, "\"/log\";", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture caseLog;
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_EQ(fresh.LoadConfigSettings(commandLine(c.args).c_str()), c.result);
        EXPECT_EQ(fresh.getMsiLogFile(), c.logFile);
        EXPECT_EQ(fresh.getMsiLogModes(), c.logModes);
        EXPECT_FALSE(fresh.isOptionSet("/l"));
        // The argument after a refused log switch is still read as what it is: a /s keeps the run silent.
        EXPECT_TRUE(fresh.isOptionSet("/s"));
        if (c.result == 0) {
            EXPECT_FALSE(fresh.isOptionSet("MSI_CMDLINE")) << "the log switch reached the installer twice";
        } else {
            EXPECT_EQ(occurrences(caseLog, badSwitchesLine(c.badList)), 1) << caseLog.raw();
        }
    }
}

TEST_F(InstallConfigTest, ARefusedLogPathSaysWhy) {
    struct Case {
        std::vector<std::string> args;
        const char* record;
    } cases[] = {
        {{"/s", "/l*v", "REBOOT=ReallySuppress"},
         "arg /l*v is incorrect: the argument after it looks like an option or a switch, not a log path "
         "(REBOOT=ReallySuppress)"},
        {{"/s", "/l"}, "arg /l is incorrect: no log path follows it"},
        {{"/s", "/lang", "1041"}, "arg /lang is not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        LogCapture caseLog;
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_NE(fresh.LoadConfigSettings(commandLine(c.args).c_str()), 0);
        EXPECT_GE(occurrences(caseLog, c.record), 1) << caseLog.raw();
    }
}

TEST_F(InstallConfigTest, BadArgumentsAreAllListedInOneMessage) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* list;
    } cases[] = {
        {"value not in the list", {"/s", "EULA=Maybe"}, "\"EULA=Maybe\";"},
        {"value in the wrong case", {"/s", "EULA=enable"}, "\"EULA=enable\";"},
        {"security level out of range", {"/s", "WEB_ZOLT_SECURITY_LEVEL=5"}, "\"WEB_ZOLT_SECURITY_LEVEL=5\";"},
        {"unknown option", {"/s", "FOO=1"}, "\"FOO=1\";"},
        {"flag without value", {"/s", "INSTALL_SILENT"}, "\"INSTALL_SILENT\";"},
        {"switch with a value", {"-download", "/S=1"}, "\"/S=1\";"},
        {"relative install directory", {"/s", "INSTALLDIR=kit"}, "\"INSTALLDIR=kit\";"},
        {"two bad arguments", {"/s", "BAR=2", "INSTALLDIR=C:\\ok", "EULA=Yes"}, "\"BAR=2\";\"EULA=Yes\";"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture caseLog;
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_EQ(fresh.LoadConfigSettings(commandLine(c.args).c_str()), 313);
        EXPECT_EQ(occurrences(caseLog, "There are errors in the following switches:"), 1);
        EXPECT_EQ(occurrences(caseLog, badSwitchesLine(c.list)), 1) << caseLog.raw();
        EXPECT_EQ(occurrences(caseLog, "Error occurred while importing important args. Exiting installer."), 1);
    }
}

// A switch typed in another letter case is stored under its listed key, so every later test finds it.
TEST_F(InstallConfigTest, SwitchesInAnyLetterCaseAreStoredAsListed) {
    EXPECT_EQ(load({"/S", "-DOWNLOAD", "/H", "-NO_OVERRIDE", "/QN", "/UnInstall", "-UNINSTALL", "/RemoveSettings"}), 0);
    for (const char* key : {"/s", "-download", "/h", "-no_override", "/q", "/uninstall", "-uninstall",
                            "/removesettings"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(config.isOptionSet(key));
    }
    EXPECT_TRUE(config.isSilent());
    EXPECT_EQ(workingString("MSI_CMDLINE"), "/QN");
}

TEST_F(InstallConfigTest, InstallerWaitComesFromEitherSourceWithinItsRange) {
    std::string file = dir.file("wait.cfg");
    writeFile(file, "INSTALLER_WAIT=45\n");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int result;
        int seconds;  // when loaded
    } cases[] = {
        {"default", {"/s"}, 0, 600},
        {"command line, key in any case", {"/s", "installer_wait=0"}, 0, 0},
        {"the file", {"/s", "INSTALLCFG=" + file}, 0, 45},
        {"the command line wins over the file", {"/s", "INSTALLCFG=" + file, "INSTALLER_WAIT:86400"}, 0, 86400},
        {"above the limit", {"/s", "INSTALLER_WAIT=86401"}, kOptionRefused, 0},
        {"a leading zero reads as octal: refused", {"/s", "INSTALLER_WAIT=010"}, kOptionRefused, 0},
        {"not a number", {"/s", "INSTALLER_WAIT=soon"}, 313, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_EQ(fresh.LoadConfigSettings(commandLine(c.args).c_str()), c.result);
        if (c.result == 0) {
            EXPECT_EQ(fresh.getInstallerWaitSeconds(), c.seconds);
        }
    }
}

TEST_F(InstallConfigTest, LogRecordsOfArgumentFailuresNameTheArgument) {
    EXPECT_EQ(load({"/s", "FOO=1", "EULA=Maybe", "/l"}), 313);
    EXPECT_EQ(occurrences(log, "ERROR: arg FOO=1 is not supported"), 1);
    EXPECT_EQ(occurrences(log, "ERROR: Loading arg EULA=Maybe failed with 313"), 1);
    EXPECT_EQ(occurrences(log, "ERROR: arg /l is incorrect"), 1);
}

TEST_F(InstallConfigTest, AnArgumentWithALineBreakIsRefusedWhole) {
    EXPECT_EQ(load({"/s", "EULA=Enable\nFOO", "INSTALLDIR=C:\\a\r\nEULA=Enable"}), 313);
    EXPECT_EQ(occurrences(log, "is not supported"), 2);
    EXPECT_FALSE(config.isOptionSet("FOO"));
    EXPECT_FALSE(config.isOptionSet("INSTALLDIR"));
}

TEST_F(InstallConfigTest, LaterSourcesWin) {
    std::string installCfg = dir.file("install.cfg");
    writeFile(installCfg, "EULA=Enable\nSPONSORS=Disable\nWEB_ANALYTICS=Disable\n");
    runtimeFile.write("AUTO_UPDATE=Disable\nSPONSORS=Enable\nWEB_ANALYTICS=Enable\n");
    ASSERT_EQ(load({"/s", "INSTALLCFG=" + installCfg, "EULA=Disable"}), 0);
    EXPECT_FALSE(config.getFlag(FLAG_AUTO_UPDATE));  // runtime file over the default
    EXPECT_EQ(workingString("SPONSORS"), "Disable");  // install configuration file over the runtime file
    EXPECT_EQ(workingString("EULA"), "Disable");      // command line over the install configuration file
    EXPECT_EQ(exportString("EULA"), "Disable");
    EXPECT_EQ(exportString("AUTO_UPDATE"), "Disable");
    EXPECT_EQ(exportString("INSTALLCFG"), "<none>");  // not exported
    EXPECT_EQ(exportString("STATIC"), "<none>");       // defaults never reach the export
    EXPECT_TRUE(occurrences(log, "Path to the install configuration file is set to " + installCfg));
}

TEST_F(InstallConfigTest, TheForwardedCommandLineComesFromTheExportedSources) {
    ASSERT_EQ(load({"/s", "INSTALL_SILENT=Enable"}), 0);
    EXPECT_EQ(workingString("CMDLINE"), "INSTALL_SILENT=\"Enable\"");
    EXPECT_TRUE(occurrences(log, "CMDLINE = INSTALL_SILENT=\"Enable\""));
}

TEST_F(InstallConfigTest, FileErrorsNameTheFileAndLine) {
    struct Case {
        const char* name;
        std::string bytes;
        int code;
        std::string message;  // %s stands for the file path
    } cases[] = {
        {"unknown key on line 3", "EULA=Enable\n# note\nFOO=1\n", 313,
         "Configuration file %s is malformed in line 3."},
        {"not UTF-8", "EULA=Enable\nINSTALLDIR=C:\\\xe9t\xe9\n", 314, "Configuration file %s is not in plain text."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = dir.file("bad.cfg");
        writeFile(file, c.bytes);
        LogCapture caseLog;
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_EQ(fresh.LoadConfigSettings(commandLine({"/s", "INSTALLCFG=" + file}).c_str()), c.code);
        std::string message = c.message;
        message.replace(message.find("%s"), 2, file);
        EXPECT_EQ(occurrences(caseLog, message), 1) << caseLog.raw();
        EXPECT_EQ(occurrences(caseLog, "Unable to install Zolt"), 1);
    }
}

TEST_F(InstallConfigTest, AMissingInstallConfigurationFileCannotBeOpened) {
    std::string file = dir.file("missing.cfg");
    EXPECT_EQ(load({"/s", "INSTALLCFG=" + file}), 304);
    EXPECT_EQ(occurrences(log, "Unable to open file " + file + "."), 1);
}

TEST_F(InstallConfigTest, EnterpriseOptionsAreRefusedBeforeTheFileIsOpened) {
    std::string existing = dir.file("usage.cfg");
    writeFile(existing, "x");
    struct Case {
        std::string argument;
        const char* list;
    } cases[] = {
        {"USAGETRACKER_CFG=" + existing, "\"USAGETRACKER_CFG\";"},
        {"DEPLOYMENT_RULE_SET=" + dir.file("missing.jar"), "\"DEPLOYMENT_RULE_SET\";"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        LogCapture caseLog;
        ConfigPipeline fresh(GetModuleHandleA(nullptr));
        EXPECT_EQ(fresh.LoadConfigSettings(commandLine({"/s", c.argument}).c_str()), kOptionRefused);
        EXPECT_EQ(occurrences(caseLog, badSwitchesLine(c.list)), 1) << caseLog.raw();
        EXPECT_EQ(occurrences(caseLog, "ERROR: The param is not supported."), 1);
    }
}

// Only the backup pass refuses a key without value; its message names the file and the line.
TEST_F(InstallConfigTest, ARuntimeFileKeyWithoutValueEndsTheLoadInTheBackupPass) {
    runtimeFile.write("EULA=Enable\nEULA\n");
    EXPECT_EQ(load({"/s"}), 313);
    EXPECT_EQ(occurrences(log, "Error occurred while importing runtime file for backup.Exiting installer."), 1);
    const std::string message = "Configuration file " + runtimeFile.path() + " is malformed in line 2.";
    EXPECT_EQ(occurrences(log, message), 1) << log.raw();
}

// Every record of the configuration object, its construction included, carries the configuration's source name.
TEST_F(InstallConfigTest, ConstructionIsTracedUnderTheConfigurationSourceName) {
    const std::string raw = log.raw();
    const std::regex traced(R"(, ([^,]*):\d+ \(InstallConfigData::InstallConfigData\)\])");
    int records = 0;
    for (std::sregex_iterator it(raw.begin(), raw.end(), traced), end; it != end; ++it, ++records)
        EXPECT_EQ("InstallConfigData", (*it)[1].str());  // the record keeps the source name's last part
    EXPECT_GE(records, 1) << raw;
}

TEST_F(InstallConfigTest, UnknownCodesAreLoggedWithoutAMessage) {
    EXPECT_FALSE(config.showConfigError(config.working(), 999, "x", false));
    EXPECT_TRUE(occurrences(log, "INFO: Unknown Error code 999"));
    EXPECT_TRUE(config.showConfigError(config.working(), 0, "x", false));
    EXPECT_FALSE(config.showConfigError(config.working(), 300, "x", false));  // logged only
    EXPECT_TRUE(occurrences(log, "IDS_ERROR_INVALID_PARAMETER"));
}

TEST_F(InstallConfigTest, MessageArgumentsAreNeverFormatDirectives) {
    config.showResourceMessage(3079, true, "C:\\%s%n%d.cfg", "7");
    EXPECT_TRUE(occurrences(log, "Configuration file C:\\%s%n%d.cfg is malformed in line 7."));
}

// A rewritten file ends its lines in CR LF, a new one in LF; the entries are what matters here.
std::string withoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// The runtime settings file around a failed installation.
TEST(RuntimeExportTest, ExportAndRestoreKeepWhatTheFileHeld) {
    struct Case {
        const char* name;
        const char* before;  // null: no file
        std::vector<std::string> args;
        const char* exported;  // null: no file after the export
    } cases[] = {
        {"nothing to do", nullptr, {"/s"}, nullptr},
        {"new EULA", nullptr, {"/s", "EULA=Enable"}, "EULA=Enable\n"},
        {"only a key that is not exported", "STATIC=Enable\n", {"/s"}, nullptr},
        {"unchanged", "AUTO_UPDATE=Disable\n", {"/s"}, "AUTO_UPDATE=Disable\n"},
        {"changed", "AUTO_UPDATE=Disable\nSTATIC=Enable\n", {"/s", "EULA=Enable", "STATIC=Disable"},
         "AUTO_UPDATE=Disable\nEULA=Enable\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeFileGuard runtimeFile;
        if (c.before) runtimeFile.write(c.before);
        InstallConfigData config(GetModuleHandleA(nullptr));
        ASSERT_EQ(config.LoadConfigSettings(commandLine(c.args).c_str()), 0);
        ASSERT_EQ(config.exportRuntimeConfig(), 0);
        if (c.exported) {
            ASSERT_TRUE(runtimeFile.exists());
            EXPECT_EQ(withoutCr(runtimeFile.read()), c.exported);
        } else {
            EXPECT_FALSE(runtimeFile.exists());
        }
        ASSERT_EQ(config.RestoreConfigSettings(), 0);
        if (c.before) {
            ASSERT_TRUE(runtimeFile.exists());
            EXPECT_EQ(withoutCr(runtimeFile.read()), c.before);
        } else {
            EXPECT_FALSE(runtimeFile.exists());
        }
    }
}

// Each file is opened once and held: nobody may write, replace, rename or block-delete it while the run needs it,
// and what the run obeys is what it read at that open.
TEST(HeldConfigFilesTest, BothFilesAreHeldAgainstChangeFromTheLoadOn) {
    RuntimeFileGuard runtimeFile;
    TempDir dir;
    const std::string installCfg = dir.file("install.cfg");
    writeFile(installCfg, "INSTALLDIR=C:\\FromFile\n");
    writeFile(dir.file("other.cfg"), "INSTALLDIR=C:\\Other\n");
    runtimeFile.write("AUTO_UPDATE=Disable\n");
    InstallConfigData config(GetModuleHandleA(nullptr));
    ASSERT_EQ(config.LoadConfigSettings(commandLine({"/s", "INSTALLCFG=" + installCfg, "EULA=Enable"}).c_str()), 0);
    for (const std::string& path : {installCfg, runtimeFile.path()}) {
        SCOPED_TRACE(path);
        UniqueFile writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer) << "opened for writing";
    }
    // A reader that would not let the export delete the runtime settings file is turned away.
    UniqueFile blockingReader(CreateFileA(runtimeFile.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(blockingReader) << "opened without delete sharing";
    EXPECT_FALSE(MoveFileExA(dir.file("other.cfg").c_str(), installCfg.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("C:\\FromFile", config.installDir());

    // A reader that lets others delete does not stop the export from putting a new file in place.
    UniqueFile reader(CreateFileA(runtimeFile.path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    ASSERT_EQ(0, config.checkRuntimeConfigWritable());
    ASSERT_EQ(0, config.exportRuntimeConfig());
    EXPECT_EQ("AUTO_UPDATE=Disable\nEULA=Enable\n", withoutCr(runtimeFile.read()));
}

// What reached the relative create calls: the name, and the descriptor as SDDL.
std::vector<std::pair<std::wstring, std::wstring>> createdWith;

void recordCreate(const std::wstring& name, EntryKind, PSECURITY_DESCRIPTOR descriptor) {
    createdWith.push_back({name, descriptor ? descriptorSddl(descriptor) : L"(none)"});
}

// A file absent when the run looked is absent for the whole run: one that appears later (made by whoever could
// add files to the folder then) is neither read nor rewritten in place with its own access list; the export
// makes a new, protected file.
TEST(HeldConfigFilesTest, ARuntimeSettingsFileThatAppearsAfterTheLoadIsReplacedByANewProtectedOne) {
    RuntimeFileGuard runtimeFile;
    InstallConfigData config(GetModuleHandleA(nullptr));
    ASSERT_EQ(config.LoadConfigSettings(commandLine({"/s", "EULA=Enable"}).c_str()), 0);
    runtimeFile.write("INSTALLDIR=C:\\Late\nAUTO_UPDATE=Disable\n");
    EXPECT_TRUE(config.autoUpdateOn());
    createdWith.clear();
    setRelativeCreateRecorder(&recordCreate);
    const int probe = config.checkRuntimeConfigWritable();
    const int exported = config.exportRuntimeConfig();
    setRelativeCreateRecorder(nullptr);
    EXPECT_EQ(0, probe);
    EXPECT_EQ(0, exported);
    EXPECT_EQ("EULA=Enable\n", withoutCr(runtimeFile.read()));
    ASSERT_EQ(1u, createdWith.size());
    EXPECT_EQ(0u, createdWith[0].first.rfind(L"zolt.settings.cfg.", 0));
    ProtectedDescriptor expected(settings_impl::settingsFileSecurityDescriptorText());
    EXPECT_EQ(descriptorSddl(expected.get()), createdWith[0].second);
}

// The descriptor supplied for every entry the trust check reads (Wine keeps no access lists on files).
const char* suppliedSddl = "";

DWORD supplySecurity(HANDLE, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(
               suppliedSddl, SDDL_REVISION_1, descriptor.receive(), nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
}

// The administrator chose the file: the run goes on, and the log names whoever else could have changed it.
TEST(HeldConfigFilesTest, WhoElseMayChangeTheInstallConfigurationFileIsNamedAndTheRunGoesOn) {
    struct Case {
        const char* name;
        const char* sddl;
        const char* warning;  // null: none
    } cases[] = {
        {"administrators alone", "O:BAD:P(A;;FA;;;BA)(A;;FR;;;WD)", nullptr},
        // Whoever planted the file owns it: named, though no entry of the list grants them anything.
        {"owned by a user", "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)",
         "or its folder may be changed by S-1-5-21-1-2-3-1001 (owner of the file). Whoever changes it chooses "
         "the options of this run, the MSI_CMDLINE passed to the installer engine among them."},
        {"owned by a user who also has a grant", "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)(A;;FA;;;S-1-5-21-1-2-3-1001)",
         "may be changed by S-1-5-21-1-2-3-1001 (owner of the file)."},
        {"authenticated users may change what is in the folder", "O:BAD:(A;OICI;FA;;;BA)(A;;0x1301bf;;;AU)",
         "or its folder may be changed by S-1-5-11."},
    };
    RuntimeFileGuard runtimeFile;
    TempDir dir;
    const std::string installCfg = dir.file("install.cfg");
    writeFile(installCfg, "INSTALLDIR=C:\\FromFile\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        suppliedSddl = c.sddl;
        LogCapture log;
        setEntrySecurityReader(&supplySecurity);
        int result = 0;
        {
            InstallConfigData config(GetModuleHandleA(nullptr));
            result = config.LoadConfigSettings(commandLine({"/s", "INSTALLCFG=" + installCfg}).c_str());
        }
        setEntrySecurityReader(nullptr);
        EXPECT_EQ(0, result);
        EXPECT_EQ(c.warning ? 1 : 0, occurrences(log, "WARNING: The install configuration file " + installCfg));
        if (c.warning) {
            EXPECT_EQ(1, occurrences(log, c.warning)) << log.raw();
        }
    }
}

// Names in the common application-data folder that start with "Vantrel." and end with ".old": folders set aside.
std::vector<std::string> vendorFoldersSetAside(const std::string& settingsPath) {
    const std::string programData = settingsPath.substr(0, settingsPath.find("\\Vantrel\\"));
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    UniqueFind search(FindFirstFileA((programData + "\\Vantrel.*.old").c_str(), &data));
    if (search) {
        do found.push_back(programData + "\\" + data.cFileName);
        while (FindNextFileA(search.get(), &data));
    }
    return found;
}

// A settings file below folders another user made (or holds an inheritable grant on) is not read, and both
// folders are set aside and made anew, each with the protected access list in the call that creates it, before
// the export writes a new file into them: repairing them in place would leave their maker's open handles.
TEST(HeldConfigFilesTest, UntrustedFoldersAreReplacedBeforeTheExportWrites) {
    RuntimeFileGuard runtimeFile;
    runtimeFile.write("AUTO_UPDATE=Disable\n");
    LogCapture log;
    suppliedSddl = "O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)";
    setEntrySecurityReader(&supplySecurity);
    setRelativeCreateRecorder(&recordCreate);
    createdWith.clear();
    int loaded = 0, probe = 0, exported = 0;
    bool autoUpdate = false;
    {
        InstallConfigData config(GetModuleHandleA(nullptr));
        loaded = config.LoadConfigSettings(commandLine({"/s", "EULA=Enable"}).c_str());
        autoUpdate = config.autoUpdateOn();
        probe = config.checkRuntimeConfigWritable();
        exported = config.exportRuntimeConfig();
    }
    setRelativeCreateRecorder(nullptr);
    setEntrySecurityReader(nullptr);
    EXPECT_EQ(0, loaded);
    EXPECT_TRUE(autoUpdate) << "the untrusted file was read";
    EXPECT_EQ(1, occurrences(log, "WARNING: The runtime configuration file"));
    EXPECT_EQ(0, probe);
    EXPECT_EQ(0, exported);
    ProtectedDescriptor folder(kProtectedFolderSddl);
    ASSERT_EQ(3u, createdWith.size());
    EXPECT_EQ(L"Vantrel", createdWith[0].first);
    EXPECT_EQ(L"Zolt", createdWith[1].first);
    EXPECT_EQ(descriptorSddl(folder.get()), createdWith[0].second);
    EXPECT_EQ(descriptorSddl(folder.get()), createdWith[1].second);
    EXPECT_EQ("EULA=Enable\n", withoutCr(runtimeFile.read()));
    // The old folders, with the file that was not read, went aside whole.
    const std::vector<std::string> aside = vendorFoldersSetAside(runtimeFile.path());
    ASSERT_EQ(1u, aside.size());
    EXPECT_EQ("AUTO_UPDATE=Disable\n", testing_support::readFile(aside[0] + "\\Zolt\\zolt.settings.cfg"));
    testing_support::removeTree(aside[0]);
}

TEST(HeldConfigFilesTest, ARuntimeSettingsFileAnotherProcessHoldsIsFoundBeforeAnythingChanges) {
    RuntimeFileGuard runtimeFile;
    runtimeFile.write("AUTO_UPDATE=Disable\n");
    LogCapture log;
    UniqueFile held(CreateFileA(runtimeFile.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    ASSERT_TRUE(held);
    InstallConfigData config(GetModuleHandleA(nullptr));
    ASSERT_EQ(config.LoadConfigSettings(commandLine({"/s", "EULA=Enable"}).c_str()), 0);
    EXPECT_EQ(306, config.checkRuntimeConfigWritable());
    held.reset();
    EXPECT_EQ("AUTO_UPDATE=Disable\n", withoutCr(runtimeFile.read()));
}

}  // namespace
