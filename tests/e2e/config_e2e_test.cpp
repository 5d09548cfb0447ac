// The launcher's configuration end to end: the real tbx-setup.exe with a recording msiexec, its command line,
// its log, its exit code and the runtime settings file, for good and bad input from every source.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "config_test_support.h"
#include "e2e_support.h"
#include "platform/descriptor_check.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

// The kit database of a run, its run folder written "<run>" (see e2e::withRunFolderAsPlaceholder).
std::string kitDatabase() {
    return e2e::cacheBuildFolder() + "\\<run>\\tbx" + buildconstants::productVersion + ".msi";
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The launcher with msirecorder as its engine; the runtime settings file is set aside for each test.
class ConfigEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { setEngineExit(0); }

    void setEngineExit(long code) { engine.setExit(std::to_string(code)); }

    // Runs the launcher; `log` receives what this run added to the launcher's log.
    DWORD run(const std::string& arguments) {
        engine.clearRecord();
        return e2e::runLauncherLogged(arguments, log);
    }

    // The install command lines the engine was started with.
    std::vector<std::string> installRuns() const {
        std::vector<std::string> runs;
        for (const std::string& line : engine.commandLines())
            if (line.find(" /i \"") != std::string::npos) runs.push_back(e2e::withRunFolderAsPlaceholder(line));
        return runs;
    }

    std::string commandStart() const { return "\"" + engine.msiexec() + "\" /i \"" + kitDatabase() + "\""; }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::TempDir dir;
    testing_support::RecordingEngine engine;
    std::string log;
};

TEST_F(ConfigEndToEnd, OptionsShapeTheEngineCommandLine) {
    struct Case {
        const char* name;
        const char* arguments;
        std::string tail;  // what follows the quoted database path
    } cases[] = {
        {"language transform right after the database", "/s /lang=1041",
         " TRANSFORMS=:1041  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"Chinese transform", "/s /LANG:2052", " TRANSFORMS=:2052  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"English needs no transform", "/s /lang=1033", "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"own quiet switch and features", "/s /qn ADDLOCAL=ToolsFeature", " /qn ADDLOCAL=ToolsFeature  WRAPPER=1"},
        {"installer log with modifiers", "/s /l*v C:\\x.log",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 /l*v \"C:\\x.log\""},
        {"silent through INSTALL_SILENT", "install_silent=Enable NOSTARTMENU=1",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 NOSTARTMENU=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0u, run(c.arguments)) << log;
        std::vector<std::string> runs = installRuns();
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(commandStart() + c.tail, runs[0]);
    }
}

// The run succeeds, so its log holds no ERROR: the language is a WARNING that names what was asked for.
TEST_F(ConfigEndToEnd, AnUnsupportedLanguageKeepsThePreferredOneWithAWarning) {
    ASSERT_EQ(0u, run("/s /lang=1036"));
    std::vector<std::string> runs = installRuns();
    ASSERT_EQ(1u, runs.size());
    // The prefix's UI language is English, so no transform.
    EXPECT_EQ(commandStart() + "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1", runs[0]);
    EXPECT_EQ(0, occurrences(log, "\tERROR: ")) << log;
    EXPECT_EQ(1, occurrences(log, "WARNING: The language 1036 asked for with /lang is not supported")) << log;
}

TEST_F(ConfigEndToEnd, BadInputNeverStartsTheEngine) {
    std::string unknownKeyFile = dir.file("unknown-key.cfg");
    testing_support::writeFile(unknownKeyFile, "EULA=Enable\n# the third line is wrong\nCOLOR=blue\n");
    std::string notUtf8File = dir.file("latin1.cfg");
    testing_support::writeFile(notUtf8File, "EULA=Enable\nSPONSORPREF=caf\xe9\n");
    struct Case {
        const char* name;
        std::string arguments;
        std::string message;
    } cases[] = {
        {"value outside the list", "EULA=Maybe", "\"EULA=Maybe\";."},
        {"unknown argument", "/unknown", "\"/unknown\";."},
        {"switch with a value", "/S=1", "\"/S=1\";."},
        {"silent, two bad arguments in one message", "/s FOO=1 EULA=Yes", "\"FOO=1\";\"EULA=Yes\";."},
        // Arguments that only begin with the log switch: none is taken for it, none is swallowed as its path.
        {"/lang without = or :", "/s /lang 1041", "\"/lang\";\"1041\";."},
        {"/layout", "/s /layout C:\\lay", "\"/layout\";\"C:\\lay\";."},
        {"an option where the log path goes", "/s /l*v REBOOT=ReallySuppress", "\"/l*v\";."},
        {"a switch where the log path goes", "/l*v /s", "\"/l*v\";."},
        {"unknown key on line 3", "INSTALLCFG=" + unknownKeyFile,
         "Configuration file " + unknownKeyFile + " is malformed in line 3."},
        {"file not UTF-8", "/s INSTALLCFG=" + notUtf8File, "Configuration file " + notUtf8File + " is not in plain text."},
        {"missing file", "INSTALLCFG=" + dir.file("none.cfg"), "Unable to open file " + dir.file("none.cfg") + "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(e2e::exitCode(kExitConfigurationRefused), run(c.arguments));
        EXPECT_TRUE(installRuns().empty()) << "the engine never ran";
        EXPECT_EQ(1, occurrences(log, c.message)) << log;
        EXPECT_EQ(1, occurrences(log, "Unable to install Zolt"));
        EXPECT_EQ(1, occurrences(log, "Error occurred while loading configuration settings. Exiting installer."));
        EXPECT_FALSE(runtimeFile.exists());
    }
}

TEST_F(ConfigEndToEnd, LaterSourcesWin) {
    std::string installCfg = dir.file("install.cfg");
    testing_support::writeFile(installCfg, "INSTALLDIR=C:\\FromFile\n");
    struct Case {
        const char* name;
        const char* runtime;  // null: no runtime settings file
        std::string arguments;
        const char* installDir;
    } cases[] = {
        {"runtime settings file over nothing", "INSTALLDIR=C:\\FromRuntime\n", "/s", "C:\\FromRuntime"},
        {"install configuration file over the runtime settings file", "INSTALLDIR=C:\\FromRuntime\n",
         "/s INSTALLCFG=" + installCfg, "C:\\FromFile"},
        {"command line over both files", "INSTALLDIR=C:\\FromRuntime\n",
         "/s INSTALLCFG=" + installCfg + " INSTALLDIR=C:\\FromArgs", "C:\\FromArgs"},
        {"the command line wins wherever it stands", nullptr,
         "/s INSTALLDIR=C:\\FromArgs INSTALLCFG=" + installCfg, "C:\\FromArgs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.runtime) runtimeFile.write(c.runtime);
        ASSERT_EQ(0u, run(c.arguments)) << log;
        std::vector<std::string> runs = installRuns();
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(commandStart() + "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 INSTALLDIR=\"" +
                      c.installDir + "\"",
                  runs[0]);
        DeleteFileA(runtimeFile.path().c_str());
    }
}

// The first records of a run say which launcher and payload ran, with which command line, as whom.
TEST_F(ConfigEndToEnd, TheFirstRecordsNameTheLauncherTheCommandLineAndTheAccount) {
    const std::string arguments = "/s \"INSTALLDIR=C:\\Zolt Kit\" EULA=Enable";
    ASSERT_EQ(0u, run(arguments)) << log;
    const std::vector<std::string> expected = {
        std::string("INFO: Zolt setup launcher ") + buildconstants::fullVersion + "; payload: the kit " +
            buildconstants::productVersion + ", build " + std::to_string(buildconstants::buildNumber) +
            ", and the auto-update component " + buildconstants::autoUpdateVersion + "\r\n",
        "INFO: Command line as given: \"" + e2e::binDir() + "\\tbx-setup-e2e.exe\" " + arguments + "\r\n",
        "INFO: Account: ",
        "; elevated: ",
    };
    size_t at = 0;
    for (const std::string& text : expected) {
        const size_t found = log.find(text, at);
        ASSERT_NE(std::string::npos, found) << text << "\n" << log;
        at = found + text.size();
    }
    // They come before anything else the run records.
    EXPECT_LT(at, log.find("Default config settings are: ")) << log;
}

// /log DIR: the launcher's log and the engine's logs of the run go to the folder it names, made when missing;
// a folder that cannot be one is refused before anything is written or run.
TEST_F(ConfigEndToEnd, LogPutsEveryLogOfTheRunInTheFolderItNames) {
    const std::string folder = dir.file("logs\\tbx");
    ASSERT_EQ(0u, run("/s /log " + folder)) << log;
    EXPECT_EQ("", log) << "the usual log got records of a run that named its own folder";
    const std::string own = testing_support::readFile(folder + "\\zusched.log");
    EXPECT_NE(std::string::npos, own.find("INFO: Command line as given: ")) << own;
    EXPECT_NE(std::string::npos, own.find("INFO: Wrapper exit code: 0\r\n")) << own;
    const std::vector<std::string> engineLogs = engine.engineLogs();
    ASSERT_EQ(1u, engineLogs.size());
    EXPECT_EQ(0u, engineLogs[0].rfind(folder + "\\tbx-msi-", 0)) << engineLogs[0];

    struct Case {
        const char* name;
        std::string arguments;
        std::string record;
    } refused[] = {
        {"a relative folder", "/s /log logs",
         "ERROR: The log folder logs given with /log is refused: it is not an absolute path with a drive letter. "
         "Nothing is written there."},
        {"a file", "/s /log " + folder + "\\zusched.log", "given with /log is refused: it is not a folder."},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(e2e::exitCode(kExitConfigurationRefused), run(c.arguments)) << log;
        EXPECT_TRUE(installRuns().empty()) << "the engine ran";
        EXPECT_EQ(1, occurrences(log, c.record)) << log;
    }
}

// ADDLOCAL and REBOOT reach the installer only from the command line: from a file the run says so, in a WARNING
// and in the plan, instead of listing them as in effect.
TEST_F(ConfigEndToEnd, FileOptionsTheInstallerNeverSeesAreFlagged) {
    std::string installCfg = dir.file("install.cfg");
    testing_support::writeFile(installCfg, "ADDLOCAL=ToolsFeature\nREBOOT=Force\n");
    struct Case {
        const char* name;
        std::string arguments;
        int addLocalWarnings;
    } cases[] = {
        {"both from the file", "/s /check INSTALLCFG=" + installCfg, 1},
        {"ADDLOCAL on the command line as well", "/s /check ADDLOCAL=ToolsFeature INSTALLCFG=" + installCfg, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0u, run(c.arguments)) << log;
        EXPECT_EQ(c.addLocalWarnings,
                  occurrences(log, "WARNING: ADDLOCAL=ToolsFeature from the install configuration file is not "
                                   "applied as given: only the command line passes ADDLOCAL to the installer"))
            << log;
        EXPECT_EQ(1, occurrences(log, "WARNING: REBOOT=Force from the install configuration file is not applied as "
                                      "given: only the command line passes REBOOT to the installer; from a file "
                                      "only ReallySuppress is applied, and only to pln.exe."))
            << log;
        EXPECT_EQ(1 + c.addLocalWarnings, occurrences(log, "NOT APPLIED as given: ")) << log;
    }
}

std::string withoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

TEST_F(ConfigEndToEnd, TheRuntimeSettingsFileSurvivesAFailedInstallation) {
    struct Case {
        const char* name;
        const char* before;  // null: no file
        const char* arguments;
        long engineExit;
        const char* after;  // null: no file
    } cases[] = {
        {"created for EULA", nullptr, "/s EULA=Enable", 0, "EULA=Enable\n"},
        {"created, then deleted when the engine fails", nullptr, "/s EULA=Enable", 1603, nullptr},
        {"only a key that is not exported: deleted", "STATIC=Enable\n", "/s", 0, nullptr},
        {"only a key that is not exported: written back after a failure", "STATIC=Enable\n", "/s", 1603,
         "STATIC=Enable\n"},
        {"nothing changed: left alone", "AUTO_UPDATE=Disable\n", "/s", 1603, "AUTO_UPDATE=Disable\n"},
        {"exported keys replaced, then restored", "AUTO_UPDATE=Disable\nSTATIC=Enable\n", "/s EULA=Enable", 1603,
         "AUTO_UPDATE=Disable\nSTATIC=Enable\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(runtimeFile.path().c_str());
        if (c.before) runtimeFile.write(c.before);
        setEngineExit(c.engineExit);
        EXPECT_EQ(static_cast<DWORD>(c.engineExit), run(c.arguments)) << log;
        EXPECT_EQ(1u, installRuns().size());
        if (c.after) {
            ASSERT_TRUE(runtimeFile.exists());
            EXPECT_EQ(c.after, withoutCr(runtimeFile.read()));
        } else {
            EXPECT_FALSE(runtimeFile.exists());
        }
    }
}

// A runtime settings file someone else could have written (made before the first run by another local user)
// must not put its options on the elevated engine's command line; the export then writes a new file.
TEST_F(ConfigEndToEnd, AnUntrustedRuntimeSettingsFileNeverReachesTheEngine) {
    const std::string second = dir.file("second-name.cfg");
    struct Case {
        const char* name;
        bool (*spoil)(const std::string& path, const std::string& second);
        bool trusted;
    } cases[] = {
        {"as the launcher leaves it", [](const std::string&, const std::string&) { return true; }, true},
        // Wine keeps an access list as the file's mode, so the launcher reads this one back.
        {"everyone may write it",
         [](const std::string& path, const std::string&) {
             LocalMemory<PSECURITY_DESCRIPTOR> sd;
             return ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;WD)", SDDL_REVISION_1,
                                                                         sd.receive(), nullptr) &&
                    SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd.get());
         },
         false},
        {"it has a second name",
         [](const std::string& path, const std::string& second) {
             return CreateHardLinkA(second.c_str(), path.c_str(), nullptr) != FALSE;
         },
         false},
    };
    const std::string planted = "INSTALLDIR=C:\\Planted\nMSI_CMDLINE=PLANTED=1\n";
    BYTE selfBuffer[SECURITY_MAX_SID_SIZE];
    PSID self = processUserSid(selfBuffer);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(runtimeFile.path().c_str());
        DeleteFileA(second.c_str());
        runtimeFile.write(planted);
        ASSERT_TRUE(c.spoil(runtimeFile.path(), second));

        EXPECT_EQ(0u, run("/s EULA=Enable")) << log;
        std::vector<std::string> runs = installRuns();
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(c.trusted, runs[0].find("C:\\Planted") != std::string::npos) << runs[0];
        EXPECT_EQ(c.trusted, runs[0].find("PLANTED=1") != std::string::npos) << runs[0];
        EXPECT_EQ(!c.trusted, log.find("WARNING: The runtime configuration file") != std::string::npos) << log;
        if (c.trusted) continue;

        // A new file with the exported option alone, not writable by others, and nothing written through a
        // second name.
        EXPECT_EQ("EULA=Enable\n", withoutCr(runtimeFile.read()));
        LocalMemory<PSECURITY_DESCRIPTOR> sd;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  GetNamedSecurityInfoA(runtimeFile.path().c_str(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        nullptr, nullptr, sd.receive()));
        EXPECT_EQ("", foreignGrant(sd.get(), FILE_WRITE_DATA, self));
        if (testing_support::fileExists(second)) {
            EXPECT_EQ(planted, testing_support::readFile(second));
        }
    }
    DeleteFileA(second.c_str());
}

}  // namespace
