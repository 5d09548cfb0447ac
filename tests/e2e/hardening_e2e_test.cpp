// The elevated launcher against what the user's other processes can do to it: a planted library, a squatted
// event, payload files and folders touched while the engine runs, links in place of the guard flag and the log.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "buildinfo/build_constants.h"
#include "e2e_support.h"
#include "import_table.h"
#include "platform/registry_key.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"
#include "products/kit_product_code.h"
#include "test_support.h"

namespace {

// Libraries that Windows 7 and Windows 10 both list as known DLLs: the loader takes them from the system
// folder only, whatever lies beside the executable.
const std::set<std::string> kKnownOnWindows7And10 = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll", "gdi32.dll",    "imagehlp.dll",
    "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",  "normaliz.dll", "nsi.dll",
    "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",  "sechost.dll",  "setupapi.dll",
    "shell32.dll",  "shlwapi.dll",  "user32.dll",   "wldap32.dll", "ws2_32.dll",
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

using testing_support::localLowFolder;

std::string flagPath() { return localLowFolder() + "\\Lumo\\Zolt\\ZOLT_INSTALL_FLAG"; }

// The folders above the kit folder, which hold the guard flag; a fresh prefix has none of them.
void makeGuardFolders() {
    CreateDirectoryA((localLowFolder() + "\\Lumo").c_str(), nullptr);
    CreateDirectoryA((localLowFolder() + "\\Lumo\\Zolt").c_str(), nullptr);
}

using e2e::runProgram;

TEST(LauncherImports, NameOnlyLibrariesTheLoaderTakesFromTheSystemFolder) {
    e2e::ImportedLibraries libraries = e2e::readImportedLibraries(e2e::binDir() + "\\tbx-setup.exe");
    ASSERT_NE(libraries.imported.end(),
              std::find_if(libraries.imported.begin(), libraries.imported.end(),
                           [](const std::string& name) { return lower(name) == "kernel32.dll"; }))
        << "the import directory was not read";
    for (const std::string& name : libraries.imported)
        EXPECT_TRUE(kKnownOnWindows7And10.count(lower(name))) << name << " may be loaded from beside the launcher";
    EXPECT_TRUE(libraries.delayLoaded.empty()) << libraries.delayLoaded.front();
}

// Makes Wine load the crypt32.dll beside the named program before its own, as Windows does for a library that
// is not a known DLL, while the object lives.
class NativeCrypt32First {
public:
    explicit NativeCrypt32First(const std::string& exeName)
        : keyPath("Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides") {
        RegistryKey key;
        EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, keyPath.c_str(), KEY_WRITE));
        RegSetValueExA(key.get(), "crypt32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    }
    ~NativeCrypt32First() {
        RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.substr(0, keyPath.rfind('\\')).c_str());
    }

private:
    std::string keyPath;
};

TEST(LibraryPlanting, ACrypt32BesideTheLauncherNeverRuns) {
    testing_support::TempDir downloads;
    for (const char* file : {"crypt32_importer.exe", "tbx-setup.exe"})
        ASSERT_TRUE(CopyFileA((e2e::binDir() + "\\" + file).c_str(), downloads.file(file).c_str(), FALSE)) << file;
    ASSERT_TRUE(
        CopyFileA((e2e::binDir() + "\\planted\\crypt32.dll").c_str(), downloads.file("crypt32.dll").c_str(), FALSE));
    NativeCrypt32First forImporter("crypt32_importer.exe");
    NativeCrypt32First forLauncher("tbx-setup.exe");
    const std::string mark = downloads.file("planted-dll-ran.txt");

    runProgram(downloads.file("crypt32_importer.exe"), "");
    ASSERT_TRUE(testing_support::fileExists(mark)) << "the planted library does not load even where it should";
    DeleteFileA(mark.c_str());

    // A bad option ends the run early, well after everything the launcher imports is loaded.
    EXPECT_EQ(e2e::exitCode(kExitConfigurationRefused),
              runProgram(downloads.file("tbx-setup.exe"), "/s NO_SUCH_OPTION=1"));
    EXPECT_FALSE(testing_support::fileExists(mark)) << "the launcher ran the planted crypt32.dll";
}

// The launcher with the recording msiexec (copied as msiexec.exe into a folder the installer location names).
class HardenedLauncher : public ::testing::Test {
protected:
    void SetUp() override { runFoldersBefore = e2e::cacheRunFolders(); }

    // Nothing of this run's is in the package cache.
    void expectNothingWritten() const { EXPECT_EQ(runFoldersBefore, e2e::cacheRunFolders()); }

    // Runs the launcher; `log` receives what this run added to the launcher's log.
    DWORD run(const std::string& arguments) { return e2e::runLauncherLogged(arguments, log); }

    std::vector<std::string> records() const { return engine.records(); }

    testing_support::RecordingEngine engine;
    std::string log;
    std::vector<std::string> runFoldersBefore;
};

TEST_F(HardenedLauncher, AnEventMadeByAnotherProgramStopsTheRunBeforeAnythingIsWritten) {
    // Made first and set over and over, as a squatter would, so that resetting it would not help either.
    UniqueHandle squatted(CreateEventA(nullptr, TRUE, TRUE, "LumoTBXCabExtractWaitEvent"));
    ASSERT_TRUE(squatted);
    struct Setter {
        HANDLE event;
        std::atomic<bool> stop{false};
        static DWORD WINAPI loop(void* self) {
            auto* s = static_cast<Setter*>(self);
            while (!s->stop) {
                SetEvent(s->event);
                Sleep(1);
            }
            return 0;
        }
    } setter{squatted.get()};
    UniqueHandle thread(CreateThread(nullptr, 0, &Setter::loop, &setter, 0, nullptr));
    ASSERT_TRUE(thread);
    DWORD code = run("/s");
    setter.stop = true;
    WaitForSingleObject(thread.get(), INFINITE);

    EXPECT_EQ(e2e::exitCode(kExitFailed), code);
    EXPECT_TRUE(records().empty()) << "the engine ran";
    expectNothingWritten();
    EXPECT_NE(std::string::npos, log.find("ERROR: The event LumoTBXCabExtractWaitEvent exists already")) << log;
}

TEST_F(HardenedLauncher, WhileTheEngineRunsNoOtherProcessCanWriteOrDeleteThePayload) {
    SetEnvironmentVariableA("MSIRECORDER_WAIT", "1");
    SetEnvironmentVariableA("MSIRECORDER_PROBE", "1");
    ASSERT_EQ(0u, run("/s")) << log;

    std::vector<std::string> probes;
    for (const std::string& line : records())
        if (line.rfind("probe ", 0) == 0) probes.push_back(line);
    std::vector<std::string> expected;
    for (const char* prefix : {"ss", "st", "sj", "sz"})
        expected.push_back(std::string("probe ") + prefix + buildconstants::versionMajor +
                           buildconstants::versionMinor + buildconstants::versionMicro + buildconstants::versionUpdate +
                           "0.cab write 32 delete 32 read 0");
    expected.push_back(std::string("probe tbx") + buildconstants::productVersion + ".msi write 32 delete 32 read 0");
    ASSERT_EQ(expected.size() + 1, probes.size()) << e2e::readFile(engine.recordPath());
    EXPECT_EQ(0u, probes.back().rfind("probe folder rename refused", 0)) << probes.back();
    probes.pop_back();
    std::sort(probes.begin(), probes.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, probes);
}

TEST_F(HardenedLauncher, ALinkInPlaceOfTheFlagOrTheLogStopsTheRunAndTouchesNothing) {
    struct Case {
        const char* name;
        std::string linkPath;
        const char* logged;  // null: the log is the link, so nothing may be written to it
    } cases[] = {
        {"guard flag", flagPath(), "ERROR: The installation flag "},
        {"log", e2e::launcherLogPath(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir elsewhere;
        const std::string victim = elsewhere.file("precious.txt");
        testing_support::writeFile(victim, "precious\n");
        makeGuardFolders();
        DeleteFileA(c.linkPath.c_str());
        ASSERT_TRUE(CreateHardLinkA(c.linkPath.c_str(), victim.c_str(), nullptr)) << GetLastError();

        EXPECT_EQ(e2e::exitCode(kExitTampered), run("/s"));
        EXPECT_EQ("precious\n", testing_support::readFile(victim));
        EXPECT_TRUE(records().empty()) << "the engine ran";
        expectNothingWritten();
        if (c.logged) {
            EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        }
        DeleteFileA(c.linkPath.c_str());
    }
}

// Anyone may read the payload in the cache, and so keep an earlier run's database and cabinet open for as long as
// they like: the next run writes into a new folder of its own and installs.
TEST_F(HardenedLauncher, AReaderOfAnEarlierRunsPayloadDoesNotStopTheNextRun) {
    ASSERT_EQ(0u, run("/s")) << log;
    ASSERT_FALSE(engine.commandLines().empty());
    const std::string earlier = e2e::databaseFolderOf(engine.commandLines().back());
    const std::string database = std::string("\\tbx") + buildconstants::productVersion + ".msi";
    const std::string cabinet = std::string("\\sj") + buildconstants::versionMajor + buildconstants::versionMinor +
                                buildconstants::versionMicro + buildconstants::versionUpdate + "0.cab";
    std::vector<UniqueFile> readers;
    for (const std::string& file : {database, cabinet}) {
        readers.emplace_back(CreateFileA((earlier + file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(readers.back()) << earlier + file;
    }
    engine.clearRecord();
    EXPECT_EQ(0u, run("/s")) << log;
    ASSERT_FALSE(engine.commandLines().empty());
    const std::string later = e2e::databaseFolderOf(engine.commandLines().back());
    EXPECT_NE(earlier, later);
    EXPECT_TRUE(testing_support::fileExists(later + database));
    EXPECT_TRUE(testing_support::fileExists(earlier + database)) << "a held file is left for a later run";
    readers.clear();
    // The next run that installs removes it.
    EXPECT_EQ(0u, run("/s")) << log;
    EXPECT_FALSE(testing_support::fileExists(earlier));
}

// Any user may add a folder to the common application data folder: the cache's first folder may be their link,
// retargeted while the run goes on between two folders of theirs, each holding a database of their own where the
// launcher's would go. The engine is never handed a path through it.
TEST_F(HardenedLauncher, ALinkInPlaceOfThePackageCacheNeverLeadsTheEngineAnywhere) {
    constexpr int kRuns = 20;
    testing_support::TempDir theirs;
    const std::string planted = "\\Package Cache\\" + kitProductCode(buildconstants::productVersion, false) +
                                "\\" + std::to_string(buildconstants::buildNumber);
    for (const char* tree : {"a", "b"}) {
        std::string folder = theirs.file(tree);
        SHCreateDirectoryExA(nullptr, (folder + planted).c_str(), nullptr);
        testing_support::writeFile(folder + planted + "\\planted.msi", "theirs");
    }
    e2e::CacheFolderLink link(theirs.file("a"));
    ASSERT_TRUE(link.made());
    std::atomic<bool> stop{false};
    std::atomic<int> retargets{0};
    std::thread racer([&] {
        for (int round = 0; !stop; ++round)
            if (link.retarget(theirs.file(round % 2 ? "a" : "b"))) ++retargets;
    });
    int refused = 0;
    int throughTheLink = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE(i);
        engine.clearRecord();
        const DWORD code = run("/s");
        for (const std::string& line : engine.commandLines())
            if (line.find(link.path() + "\\") != std::string::npos) ++throughTheLink;
        if (code == e2e::exitCode(kExitTampered)) {
            ++refused;
            EXPECT_TRUE(engine.commandLines().empty()) << "the engine ran after a refusal";
        } else {
            // Where a link can be set aside as itself, the run makes its own folder and installs from there.
            EXPECT_EQ(0u, code) << log;
        }
    }
    stop = true;
    racer.join();
    std::cout << "link in place of the package cache: " << throughTheLink << " engine runs through it, " << refused
              << " runs refused / " << kRuns << " runs; " << retargets << " retargets" << std::endl;
    EXPECT_LT(0, retargets.load()) << "the link was never retargeted";
    EXPECT_EQ(0, throughTheLink);
    for (const char* tree : {"a", "b"})
        EXPECT_EQ("theirs", testing_support::readFile(theirs.file(tree) + planted + "\\planted.msi"));
}

}  // namespace
