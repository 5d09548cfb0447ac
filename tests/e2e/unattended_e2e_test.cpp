// The launcher as a deployment tool or a service starts it: another installation holding the Windows
// Installer, a window station no one can see, switches typed in upper case, and a request for the usage. The
// recording engine stands in for msiexec, so "no engine run" is an empty record.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "config_test_support.h"
#include "e2e_support.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

const DWORD kInstallerBusy = 1618;
const DWORD kConfigError = static_cast<DWORD>(-80);
constexpr const char* kWaitBegins = "waiting for it up to";

// The Windows Installer's mutex, owned by this test process the way a running installation owns it.
class HeldInstallerLock {
public:
    HeldInstallerLock() : mutex(CreateMutexA(nullptr, TRUE, "Global\\_MSIExecute")) {
        if (!mutex) throw std::runtime_error("cannot create the installer's mutex");
    }
    ~HeldInstallerLock() { release(); }
    void release() {
        if (held) ReleaseMutex(mutex.get());
        held = false;
    }

private:
    UniqueHandle mutex;
    bool held = true;
};

// A launcher started with a chosen desktop and a file as its standard output.
class StartedLauncher {
public:
    StartedLauncher(const std::string& arguments, const char* desktop = nullptr, HANDLE output = nullptr) {
        std::string commandLine = "\"" + e2e::binDir() + "\\tbx-setup.exe\" " + arguments;
        std::string desktopName = desktop ? desktop : "";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (desktop) startup.lpDesktop = &desktopName[0];
        if (output) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = output;
            startup.hStdError = output;
        }
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, output != nullptr, 0, nullptr, nullptr,
                            &startup, &process))
            throw std::runtime_error("cannot start the launcher: " + std::to_string(GetLastError()));
        processHandle.reset(process.hProcess);
        threadHandle.reset(process.hThread);
    }
    // The full exit code; a launcher that has not ended after a generous limit is killed and fails the test.
    DWORD wait() {
        if (WaitForSingleObject(processHandle.get(), 120000) != WAIT_OBJECT_0) {
            TerminateProcess(processHandle.get(), 99);
            ADD_FAILURE() << "the launcher did not end";
        }
        DWORD code = 0;
        GetExitCodeProcess(processHandle.get(), &code);
        return code;
    }
    bool running() const { return WaitForSingleObject(processHandle.get(), 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION process{};
    UniqueHandle processHandle;
    UniqueHandle threadHandle;
};

// A window station made by the test, like the invisible one of a service, with a desktop to start programs on.
class InvisibleDesktop {
public:
    InvisibleDesktop() {
        station = CreateWindowStationW(L"tbx-unattended", 0, WINSTA_ALL_ACCESS, nullptr);
        if (!station) throw std::runtime_error("cannot create a window station");
        HWINSTA own = GetProcessWindowStation();
        SetProcessWindowStation(station);
        desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(own);
        if (!desktop) throw std::runtime_error("cannot create a desktop");
    }
    ~InvisibleDesktop() {
        CloseDesktop(desktop);
        CloseWindowStation(station);
    }
    const char* name() const { return "tbx-unattended\\Default"; }

private:
    HWINSTA station = nullptr;
    HDESK desktop = nullptr;
};

class Unattended : public ::testing::Test {
protected:
    void SetUp() override {
        engine.clearRecord();
        engine.setExit("0");
        DeleteFileA(e2e::launcherLogPath().c_str());
    }
    std::string log() const { return e2e::readFile(e2e::launcherLogPath()); }
    // Waits until the log shows `text`; false when the launcher ended first.
    bool waitForLog(const std::string& text, const StartedLauncher& launcher) const {
        while (log().find(text) == std::string::npos) {
            if (!launcher.running()) return log().find(text) != std::string::npos;
            Sleep(50);
        }
        return true;
    }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::RecordingEngine engine;
};

TEST_F(Unattended, GivesUpWith1618WhenTheInstallerStaysBusyAndChangesNothing) {
    HeldInstallerLock lock;
    StartedLauncher launcher("/s INSTALLER_WAIT=1 EULA=Enable");
    EXPECT_EQ(kInstallerBusy, launcher.wait());
    EXPECT_TRUE(engine.commandLines().empty()) << "the engine ran although the installer was busy";
    EXPECT_FALSE(runtimeFile.exists()) << "the runtime settings were exported";
    const std::string records = log();
    EXPECT_NE(std::string::npos, records.find(kWaitBegins)) << records;
    EXPECT_NE(std::string::npos, records.find("ERROR: Another installation still holds the Windows Installer after 1"))
        << records;
    EXPECT_NE(std::string::npos, records.find("; nothing was installed.\r\n")) << records;
    EXPECT_EQ(std::string::npos, records.find("; nothing was installed..")) << "the record ends with two full stops";
}

TEST_F(Unattended, GoesOnOnceTheOtherInstallationEnds) {
    HeldInstallerLock lock;
    StartedLauncher launcher("/s INSTALLER_WAIT=600");
    ASSERT_TRUE(waitForLog(kWaitBegins, launcher)) << log();
    EXPECT_TRUE(engine.commandLines().empty()) << "the engine ran while the installer was busy";
    lock.release();
    EXPECT_EQ(0u, launcher.wait());
    EXPECT_EQ(1u, engine.commandLines().size());
    EXPECT_NE(std::string::npos, log().find("The Windows Installer is free after")) << log();
}

// A mutex that exists but that nobody owns is not a running installation: no wait at all.
TEST_F(Unattended, AnUnownedInstallerMutexIsNoReasonToWait) {
    HeldInstallerLock lock;
    lock.release();
    StartedLauncher launcher("/s INSTALLER_WAIT=0");
    EXPECT_EQ(0u, launcher.wait());
    EXPECT_EQ(1u, engine.commandLines().size());
    EXPECT_EQ(std::string::npos, log().find(kWaitBegins));
}

// No one can answer a box on a window station that is not visible: the run reports in its log and ends.
TEST_F(Unattended, OnAnInvisibleWindowStationNoRunWaitsForAPerson) {
    InvisibleDesktop desktop;
    {
        SCOPED_TRACE("a refused option, not silent");
        StartedLauncher launcher("BOGUS=1", desktop.name());
        EXPECT_EQ(kConfigError, launcher.wait());
        EXPECT_NE(std::string::npos, log().find("There are errors in the following switches")) << log();
        EXPECT_NE(std::string::npos, log().find("The window station is not visible")) << log();
    }
    {
        SCOPED_TRACE("the installer busy, not silent: the wait, not the Retry box");
        DeleteFileA(e2e::launcherLogPath().c_str());
        HeldInstallerLock lock;
        StartedLauncher launcher("INSTALLER_WAIT=1", desktop.name());
        EXPECT_EQ(kInstallerBusy, launcher.wait());
        EXPECT_NE(std::string::npos, log().find(kWaitBegins)) << log();
        EXPECT_TRUE(engine.commandLines().empty());
    }
}

// The switches in upper case are the switches; values keep their exact letter case.
TEST_F(Unattended, SwitchesWorkInAnyLetterCase) {
    struct Case {
        const char* name;
        const char* arguments;
        DWORD exitCode;
        const char* inEngineCommand;  // null: the engine must not run
    } cases[] = {
        {"/S is silent", "/S", 0, " /qn ADDLOCAL=PublicplnFeature,ToolsFeature"},
        {"-DOWNLOAD is silent", "-DOWNLOAD", 0, " /qn ADDLOCAL=PublicplnFeature,ToolsFeature"},
        {"/H and -NO_OVERRIDE are accepted", "/s /H -NO_OVERRIDE", 0, "WRAPPER=1"},
        {"/QN is the quiet switch: no second one is added", "/S /QN", 0, "/QN  ADDLOCAL=PublicplnFeature"},
        {"a value in the wrong case is still refused", "/S EULA=enable", kConfigError, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.clearRecord();
        EXPECT_EQ(c.exitCode, StartedLauncher(c.arguments).wait());
        const std::vector<std::string> runs = engine.commandLines();
        if (!c.inEngineCommand) {
            EXPECT_TRUE(runs.empty());
        } else {
            ASSERT_EQ(1u, runs.size());
            EXPECT_NE(std::string::npos, runs[0].find(c.inEngineCommand)) << runs[0];
        }
    }
}

// The usage ends the run with 0 before anything happens: no guard flag, settings export or engine run.
TEST_F(Unattended, HelpPrintsTheUsageAndChangesNothing) {
    const std::string outputPath = e2e::tempDir() + "\\tbx-usage.txt";
    for (const char* asked : {"/?", "-?", "/HELP", "/s /help EULA=Enable"}) {
        SCOPED_TRACE(asked);
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        DWORD code = 0;
        {
            UniqueFile output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                          CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(output);
            code = StartedLauncher(asked, nullptr, output.get()).wait();
        }
        EXPECT_EQ(0u, code);
        const std::string usage = e2e::readFile(outputPath);
        EXPECT_NE(std::string::npos, usage.find("Usage: tbx-setup.exe")) << usage;
        EXPECT_NE(std::string::npos, usage.find("INSTALLER_WAIT=<0-86400>")) << usage;
        EXPECT_NE(std::string::npos, usage.find("zusched.log")) << usage;
        EXPECT_TRUE(engine.commandLines().empty());
        EXPECT_FALSE(runtimeFile.exists());
        EXPECT_EQ(std::string::npos, log().find("szTBXExeCommand"));
    }
    DeleteFileA(outputPath.c_str());
}

// /check writes its plan where /? writes the usage: to the standard output the launcher was given.
TEST_F(Unattended, CheckPrintsThePlanToStandardOutput) {
    const std::string outputPath = e2e::tempDir() + "\\tbx-check.txt";
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    DWORD code = 0;
    {
        UniqueFile output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                      CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(output);
        code = StartedLauncher("/s /check INSTALLER_WAIT=30", nullptr, output.get()).wait();
    }
    EXPECT_EQ(0u, code);
    const std::string plan = e2e::readFile(outputPath);
    for (const char* line : {"INSTALLER_WAIT = 30   [command line]", "The kit's installer command:",
                             "/qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1", "Expected exit code: 0"})
        EXPECT_NE(std::string::npos, plan.find(line)) << line << "\n" << plan;
    EXPECT_TRUE(engine.commandLines().empty());
    EXPECT_FALSE(runtimeFile.exists());
    DeleteFileA(outputPath.c_str());
}

// An INSTALLER_WAIT outside 0..86400, or not plainly decimal, is refused like any bad value, from either source.
TEST_F(Unattended, InstallerWaitOutsideItsRangeIsRefused) {
    const std::string configFile = e2e::tempDir() + "\\tbx-wait.cfg";
    struct Case {
        const char* name;
        const char* argument;     // on the command line, or null
        const char* fileLine;     // in the install configuration file, or null
        DWORD exitCode;
    } cases[] = {
        {"the largest", "INSTALLER_WAIT=86400", nullptr, 0},
        {"one more", "INSTALLER_WAIT=86401", nullptr, kConfigError},
        {"negative", "INSTALLER_WAIT=-1", nullptr, kConfigError},
        {"octal-looking", "INSTALLER_WAIT=0600", nullptr, kConfigError},
        {"with a unit", "INSTALLER_WAIT=10s", nullptr, kConfigError},
        {"from the file", nullptr, "INSTALLER_WAIT=90000", kConfigError},
        {"from the file, in range", nullptr, "INSTALLER_WAIT=5", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(e2e::launcherLogPath().c_str());
        std::string arguments = "/s";
        if (c.argument) arguments += std::string(" ") + c.argument;
        if (c.fileLine) {
            testing_support::writeFile(configFile, std::string(c.fileLine) + "\n");
            arguments += " INSTALLCFG=" + configFile;
        }
        EXPECT_EQ(c.exitCode, StartedLauncher(arguments).wait());
        if (c.exitCode == kConfigError) {
            EXPECT_NE(std::string::npos, log().find("\"INSTALLER_WAIT\";")) << log();
            // A known option: the record names it and what it takes, not an unknown option.
            EXPECT_NE(std::string::npos, log().find("INSTALLER_WAIT is not one it takes; it takes a whole number of "
                                                    "seconds from 0 to 86400, in decimal digits alone"))
                << log();
            EXPECT_EQ(std::string::npos, log().find("unknown, unsupported or unreadable")) << log();
        }
    }
    DeleteFileA(configFile.c_str());
}

}  // namespace
