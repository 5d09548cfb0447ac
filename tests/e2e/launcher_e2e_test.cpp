// The real tbx-setup.exe started as an administrator would: full exit codes, the engine command line seen by
// a recording msiexec, the cabinets complete when the event is set, and the demo kit installed by the engine.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "e2e_support.h"
#include "platform/registry_key.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"
#include "products/product_codes.h"

namespace {

constexpr DWORD kRunLimitMs = 240000;

std::string binFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\'));
}

std::string tempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return tstrings::stripTrailingSeparators(temp);
}

using testing_support::localLowFolder;

// The kit database of a run, its run folder written "<run>" (see e2e::withRunFolderAsPlaceholder).
std::string kitDatabase() {
    return e2e::cacheBuildFolder() + "\\<run>\\tbx" + buildconstants::productVersion + ".msi";
}

std::string cabinetName(const char* prefix) {
    return std::string(prefix) + buildconstants::versionMajor + buildconstants::versionMinor +
           buildconstants::versionMicro + buildconstants::versionUpdate + "0.cab";
}

std::string kitProductCode() {
    return std::string("{64D7B2E9-C461-14F3-B95C-00A6C07") + buildconstants::versionMinor + "0" +
           buildconstants::versionUpdate + "0}";
}

std::string kitKey() { return std::string("SOFTWARE\\Zoltsys\\Zolt Development Kit\\") + buildconstants::productVersion; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Starts a program and returns its full 32-bit exit code.
DWORD run(const std::string& program, const std::string& arguments) {
    return e2e::runProgram(program, arguments, kRunLimitMs);
}

DWORD runLauncher(const std::string& arguments, const char* exe = "tbx-setup.exe") {
    return run(binFolder() + "\\" + exe, arguments);
}

std::string systemMsiexec() {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\msiexec.exe";
}

// Removes the demo kit when an earlier run left it installed, so no removal pass runs before the install.
void uninstallDemoKit() {
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kitKey().c_str(), KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS)
        run(systemMsiexec(), "/x " + kitProductCode() + " /qn");
    // A silent run also installs the public runtime and the auto-update component; left behind, they would
    // make the next run install the auto-update database through the recording engine.
    const std::string runtimeKey = std::string("SOFTWARE\\Zoltsys\\Zolt Runtime Environment\\") + buildconstants::productVersion;
    if (key.Open(HKEY_LOCAL_MACHINE, runtimeKey.c_str(), KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS)
        run(systemMsiexec(), "/x " + zscrub::ZCleaner::getProductGUID(buildconstants::productVersion, 64) + " /qn");
    if (key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zoltsys\\Auto Update", KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS)
        run(systemMsiexec(), std::string("/x ") + kAutoUpdateProductCode + " /qn");
}

std::string readString(HKEY root, const std::string& keyPath, const char* name) {
    RegistryKey key;
    if (key.Open(root, keyPath.c_str(), KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return "<no key>";
    char value[1024] = "";
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return "<no value>";
    return value;
}

// The launcher with a recording msiexec: the recorder is copied as msiexec.exe into a folder of its own,
// the installer location points there, and the recorder learns what to do from the inherited environment.
class RecordedEngine : public ::testing::Test {
protected:
    void SetUp() override {
        uninstallDemoKit();
        engine = std::make_unique<testing_support::RecordingEngine>();
        setEngineExit(0);
    }
    void TearDown() override { engine.reset(); }

    void setEngineExit(long code) { engine->setExit(std::to_string(code)); }

    // The records, each run's own cache folder written "<run>".
    std::vector<std::string> records() const {
        std::vector<std::string> lines = engine->records();
        for (std::string& line : lines) line = e2e::withRunFolderAsPlaceholder(line);
        return lines;
    }

    std::string commandStart() const { return "cmd \"" + engine->msiexec() + "\" /i \"" + kitDatabase() + "\""; }

    // Made after the demo kit is gone, so that its removal runs with the machine's own engine location.
    std::unique_ptr<testing_support::RecordingEngine> engine;
};

TEST_F(RecordedEngine, CommandLineMatchesCharacterForCharacter) {
    struct Case {
        const char* name;
        const char* arguments;
        const char* tail;
    } cases[] = {
        {"silent: two spaces before /qn and the default features", "/s",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"interactive: no quiet switch, no features", "", "  WRAPPER=1"},
        {"MSI_CMDLINE with /qn: not added twice", "/s \"MSI_CMDLINE=/qn REBOOT=ReallySuppress\"",
         " /qn REBOOT=ReallySuppress  ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        // The composed trailing space is trimmed by the runner before the engine sees the line.
        {"INSTALLDIR is quoted", "/s \"INSTALLDIR=C:\\Zolt Kit\"",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 INSTALLDIR=\"C:\\Zolt Kit\""},
        {"installer log switch", "/s /l C:\\logs\\kit.log",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 /l \"C:\\logs\\kit.log\""},
        {"Japanese transform right after the database", "/s /lang=1041",
         " TRANSFORMS=:1041  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"unsupported language keeps English", "/s /lang=1036",
         "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"},
        {"ADDLOCAL given: passed through, no default feature list", "/s ADDLOCAL=ToolsFeature",
         " ADDLOCAL=ToolsFeature  /qn WRAPPER=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->clearRecord();
        EXPECT_EQ(0u, runLauncher(c.arguments));
        std::vector<std::string> lines = records();
        ASSERT_EQ(1u, lines.size()) << "the engine runs once";
        EXPECT_EQ(commandStart() + c.tail, lines[0]);
    }
}

// Each engine run writes the engine's verbose log beside the launcher's log, and the launcher's log names it; an
// administrator's own /l names the kit's log instead.
TEST_F(RecordedEngine, TheKitRunWritesAVerboseLogBesideTheLaunchersLog) {
    struct Case {
        const char* name;
        const char* arguments;
        bool ownLog;
    } cases[] = {{"by default", "/s", true}, {"the administrator's log", "/s /l+v C:\\logs\\kit.log", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->clearRecord();
        std::string log;
        ASSERT_EQ(0u, e2e::runLauncherLogged(c.arguments, log));
        const std::vector<std::string> logs = engine->engineLogs();
        ASSERT_EQ(1u, logs.size());
        if (!c.ownLog) {
            EXPECT_EQ("", logs[0]) << "the kit's run carries one log switch, the administrator's";
            EXPECT_EQ(commandStart() + "  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 /l+v \"C:\\logs\\kit.log\"",
                      records()[0]);
            continue;
        }
        EXPECT_EQ(tempFolder() + "\\tbx-msi-", logs[0].substr(0, tempFolder().size() + 9)) << logs[0];
        EXPECT_EQ("-01-kit.log", logs[0].substr(logs[0].size() - 11)) << logs[0];
        EXPECT_NE(std::string::npos, log.find("INFO: The Windows Installer logs this run of kit to " + logs[0] + "\r\n"))
            << log;
    }
}

TEST_F(RecordedEngine, EngineExitCodeIsTheLaunchersExitCode) {
    const std::string log = tempFolder() + "\\zusched.log";
    for (long code : {0L, 1603L, 3010L, 1618L}) {
        SCOPED_TRACE(code);
        setEngineExit(code);
        EXPECT_EQ(static_cast<DWORD>(code), runLauncher("/s"));
        std::string text = readFile(log);
        size_t last = text.rfind("Wrapper exit code: ");
        ASSERT_NE(std::string::npos, last);
        EXPECT_EQ(std::to_string(code), tstrings::trim(text.substr(last + 19, text.find('\n', last) - last - 19), "\r"));
    }
}

// The whole payload is in the cache, and the event set, when the first engine run starts.
TEST_F(RecordedEngine, CabinetsAreCompleteWhenTheEventIsSet) {
    SetEnvironmentVariableA("MSIRECORDER_WAIT", "1");
    ASSERT_EQ(0u, runLauncher("/s"));
    const std::vector<std::string> commands = engine->commandLines();
    ASSERT_EQ(1u, commands.size());
    const std::string kitFolder = e2e::databaseFolderOf(commands[0]);
    ASSERT_EQ(e2e::cacheBuildFolder(), kitFolder.substr(0, kitFolder.find_last_of('\\')));

    HMODULE image = LoadLibraryExA((binFolder() + "\\tbx-setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    auto resource = [image](WORD id, const char* type) {
        HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(id), type);
        if (!found) return std::string("<missing>");
        const char* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
        return std::string(data, SizeofResource(image, found));
    };
    std::vector<std::string> expected = {"cmd", "event signalled"};
    struct {
        const char* prefix;
        WORD id;
        const char* type;
    } cabinets[] = {{"sj", TBX_RES_CAB_SJ, "ZOLT_CAB7"},
                    {"ss", TBX_RES_CAB_SS, "ZOLT_CAB9"},
                    {"st", TBX_RES_CAB_ST, "ZOLT_CAB10"},
                    {"sz", TBX_RES_CAB_SZ, "ZOLT_CAB11"}};
    for (const auto& cab : cabinets) {
        std::string bytes = resource(cab.id, cab.type);
        expected.push_back("cab " + cabinetName(cab.prefix) + " " + std::to_string(bytes.size()));
        EXPECT_EQ(bytes, readFile(kitFolder + "\\" + cabinetName(cab.prefix))) << cab.prefix;
    }
    EXPECT_EQ(resource(TBX_RES_KIT_MSI, TBX_RES_TYPE_INSTALLER),
              readFile(kitFolder + "\\tbx" + buildconstants::productVersion + ".msi"));
    EXPECT_EQ(resource(TBX_RES_AU_MSI, TBX_RES_TYPE_INSTALLER), readFile(kitFolder + "\\au.msi"));
    FreeLibrary(image);

    std::vector<std::string> lines = records();
    ASSERT_EQ(expected.size(), lines.size());
    lines[0] = "cmd";
    std::sort(lines.begin() + 2, lines.end());
    std::sort(expected.begin() + 2, expected.end());
    EXPECT_EQ(expected, lines);
}

TEST_F(RecordedEngine, ValuesThatDoNotFitAreRefusedBeforeTheEngineRuns) {
    const std::string huge(2100, 'v');
    struct Case {
        const char* name;
        std::string arguments;
        DWORD exitCode;
    } cases[] = {
        {"MSI_CMDLINE beyond its buffer", "/s MSI_CMDLINE=" + huge, e2e::exitCode(kExitCommandTooLong)},
        {"MSI_CMDLINE that fits its buffer but not the base command", "/s MSI_CMDLINE=" + huge.substr(0, 1000),
         e2e::exitCode(kExitCommandTooLong)},
        // The configuration's own check refuses a directory this long before the flow sees it.
        {"INSTALLDIR beyond its buffer", "/s INSTALLDIR=C:\\" + huge, e2e::exitCode(kExitConfigurationRefused)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.exitCode, runLauncher(c.arguments));
        EXPECT_TRUE(records().empty()) << "the engine never ran";
    }
}

TEST_F(RecordedEngine, MissingEngineLocationGivesMinusThree) {
    engine->location().remove();
    EXPECT_EQ(e2e::exitCode(kExitEngineNotFound), runLauncher("/s"));
    EXPECT_TRUE(records().empty());
}

TEST_F(RecordedEngine, MissingKitDatabaseGivesOneAndWritesNothing) {
    const std::vector<std::string> before = e2e::cacheRunFolders();
    EXPECT_EQ(1u, runLauncher("/s", "tbx-setup-nokit.exe"));
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(before, e2e::cacheRunFolders()) << "nothing is written to the package cache";
}

TEST_F(RecordedEngine, AHeldGuardFlagStopsTheInstallation) {
    const std::string flag = localLowFolder() + "\\Lumo\\Zolt\\ZOLT_INSTALL_FLAG";
    UniqueHandle held(CreateFileA(flag.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.get());
    const std::vector<std::string> before = e2e::cacheRunFolders();
    EXPECT_EQ(e2e::exitCode(kExitFailed), runLauncher("/s"));
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(before, e2e::cacheRunFolders()) << "nothing is extracted";
}

// How many "Wrapper exit code: " records `log` holds, and the code the last record of all gives ("" when the last
// record is another one).
struct FinalRecords {
    size_t count = 0;
    std::string lastCode;
};
FinalRecords finalRecords(const std::string& log) {
    static const std::string kFinal = "INFO: Wrapper exit code: ";
    FinalRecords found;
    for (size_t at = log.find(kFinal); at != std::string::npos; at = log.find(kFinal, at + 1)) ++found.count;
    const size_t lastRecord = log.rfind("\n[");
    const size_t last = log.rfind(kFinal);
    if (last != std::string::npos && (lastRecord == std::string::npos || last > lastRecord))
        found.lastCode = tstrings::trim(log.substr(last + kFinal.size()), "\r\n");
    return found;
}

// Every way out of the run, early or not, leaves through one exit that writes the exit code as the last record.
TEST_F(RecordedEngine, EveryWayOutEndsWithOneExitCodeRecord) {
    const std::string flag = localLowFolder() + "\\Lumo\\Zolt\\ZOLT_INSTALL_FLAG";
    struct Case {
        const char* name;
        const char* arguments;
        const char* exe;
        int exitCode;
        // Sets the scene; what it returns is held for the run.
        std::function<UniqueHandle()> scene;
    } cases[] = {
        {"a refused option", "/s /bogus", "tbx-setup.exe", kExitConfigurationRefused, [] { return UniqueHandle(); }},
        {"a held guard flag", "/s", "tbx-setup.exe", kExitFailed,
         [&flag] {
             CreateDirectoryA((localLowFolder() + "\\Lumo").c_str(), nullptr);
             CreateDirectoryA((localLowFolder() + "\\Lumo\\Zolt").c_str(), nullptr);
             return UniqueHandle(CreateFileA(flag.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_FLAG_DELETE_ON_CLOSE, nullptr));
         }},
        {"an event made by another program", "/s", "tbx-setup.exe", kExitFailed,
         [] { return UniqueHandle(CreateEventA(nullptr, TRUE, TRUE, "LumoTBXCabExtractWaitEvent")); }},
        {"no kit database", "/s", "tbx-setup-nokit.exe", kExitNoKitDatabase, [] { return UniqueHandle(); }},
        {"installed", "/s", "tbx-setup.exe", kExitSuccess, [] { return UniqueHandle(); }},
    };
    const std::string logPath = tempFolder() + "\\zusched.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(logPath.c_str());
        {
            UniqueHandle held = c.scene();
            EXPECT_EQ(static_cast<DWORD>(c.exitCode), runLauncher(c.arguments, c.exe));
        }
        const FinalRecords final = finalRecords(readFile(logPath));
        EXPECT_EQ(1u, final.count);
        EXPECT_EQ(std::to_string(c.exitCode), final.lastCode);
    }
    engine->location().remove();
    DeleteFileA(logPath.c_str());
    EXPECT_EQ(static_cast<DWORD>(kExitEngineNotFound), runLauncher("/s"));
    const FinalRecords final = finalRecords(readFile(logPath));
    EXPECT_EQ(1u, final.count) << "no engine";
    EXPECT_EQ(std::to_string(kExitEngineNotFound), final.lastCode) << "no engine";
}

// Makes Wine report Windows XP (5.2) to tbx-setup.exe alone while it lives.
class OldWindowsForLauncher {
public:
    OldWindowsForLauncher() {
        EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kKey, KEY_WRITE));
        RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp64"), 8);
    }
    ~OldWindowsForLauncher() {
        key.Close();
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }

private:
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\tbx-setup.exe";
    RegistryKey key;
};

TEST_F(RecordedEngine, OldWindowsIsOnlyWarnedAbout) {
    const std::string log = tempFolder() + "\\zusched.log";
    DeleteFileA(log.c_str());
    const std::string database = kitDatabase();
    {
        OldWindowsForLauncher xp;
        EXPECT_EQ(0u, runLauncher("/s"));
    }
    std::vector<std::string> lines = records();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("cmd \"" + engine->msiexec() + "\" /i \"" + database +
                  "\"  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1",
              lines[0]);
    EXPECT_NE(std::string::npos, readFile(log).find("This is an unsupported operationg system."));
}

// The demo kit through Wine's own Windows Installer engine.
class RealEngine : public ::testing::Test {
protected:
    void SetUp() override { uninstallDemoKit(); }
    void TearDown() override { uninstallDemoKit(); }
};

TEST_F(RealEngine, InstallsTheDemoKitWithItsRegistryKeysAndFiles) {
    ASSERT_EQ(0u, runLauncher("/s"));
    std::string home = readString(HKEY_LOCAL_MACHINE, kitKey(), "ZoltHome");
    EXPECT_NE(std::string::npos, home.find("\\Zolt\\tbx-")) << home;
    EXPECT_EQ(std::to_string(buildconstants::buildNumber), readString(HKEY_LOCAL_MACHINE, kitKey(), "BuildNumber"));
    EXPECT_EQ(buildconstants::fullVersion, readString(HKEY_LOCAL_MACHINE, kitKey() + "\\MSI", "FullVersion"));
    // One file from each of the four cabinets.
    for (const char* file : {"README.txt", "bin\\tools.txt", "pln\\runtime.txt", "legal\\legal.txt"}) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(fileExists(tstrings::joinPath(home, file)));
    }
}

}  // namespace
