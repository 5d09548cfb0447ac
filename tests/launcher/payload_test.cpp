// The payload and the per-machine package cache: whole writes of any size, held files, the cache's folders made
// protected inside the held folder above, untrusted folders set aside, and what a run leaves in the cache.
#include "launcher/payload.h"
#include "launcher/package_cache.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "buildinfo/payload_resources.h"
#include "buildinfo/build_constants.h"
#include "launcher/package_cache_layout.h"
#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "platform/descriptor_check.h"
#include "platform/entry_trust.h"
#include "platform/protected_entries.h"
#include "platform/relative_entries.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

using testing_support::localLowFolder;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string resourceBytes(WORD id, const char* type) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(id), type);
    if (!found) return "<missing>";
    DWORD size = SizeofResource(self, found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(self, found)));
    return std::string(data ? data : "", size);
}

class ResourceWriting : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = temp;
        target = folder + "tbx-payload-test.bin";
    }
    void TearDown() override {
        holds.release();
        DeleteFileA(target.c_str());
    }
    // Writes a resource of this program to the target inside the held temporary folder, as a run writes into
    // the payload folders it holds.
    PayloadWriteResult write(WORD id, const char* type, WriteFileFunction writer = &WriteFile) {
        EXPECT_TRUE(holdFolderChain(holds, folder.c_str(), nullptr, 0, "test"));
        HMODULE self = GetModuleHandleA(nullptr);
        HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(id), type);
        EXPECT_NE(nullptr, resource);
        return WriteResourceToFile(holds, self, target.c_str(), resource, writer);
    }
    std::string folder;
    std::string target;
    RunHolds holds;
};

TEST_F(ResourceWriting, WritesEverySizeWholeAndReplacesAnOlderFile) {
    struct Case {
        const char* name;
        WORD id;
        const char* type;
        size_t size;
    } cases[] = {
        {"two full chunks exactly", TBX_RES_CAB_SS, "ZOLT_CAB9", 16384},
        {"empty", TBX_RES_CAB_ST, "ZOLT_CAB10", 0},
        {"one byte past a chunk", TBX_RES_CAB_SJ, "ZOLT_CAB7", 8193},
        {"many chunks and a tail", TBX_RES_CAB_SZ, "ZOLT_CAB11", 100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An older, longer file of the same name must not leave its tail behind.
        std::ofstream(target, std::ios::binary) << std::string(120000, 'o');
        EXPECT_TRUE(write(c.id, c.type).ok());
        std::string written = readFile(target);
        EXPECT_EQ(c.size, written.size());
        EXPECT_EQ(resourceBytes(c.id, c.type), written);
        holds.release();
    }
}

// Fails the second chunk as a full disk would.
int writeCalls = 0;
BOOL WINAPI diskFullOnSecondChunk(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (++writeCalls == 2) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

// A write that fails halfway leaves no cut file that could pass for a complete one, and says why.
TEST_F(ResourceWriting, AFailedWriteDeletesTheCutFileAndReportsTheError) {
    writeCalls = 0;
    const PayloadWriteResult result = write(TBX_RES_CAB_SZ, "ZOLT_CAB11", &diskFullOnSecondChunk);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), result.error);
    EXPECT_STREQ("Installer : Wrapper.WriteFile (In small chunks) ", result.what);
    EXPECT_FALSE(result.tampered);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(target.c_str()));
}

// What another process of the user could try between the write and the engine's read.
DWORD openError(const std::string& path, DWORD access) {
    HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return 0;
}

TEST_F(ResourceWriting, AWrittenFileIsHeldReadableOnlyUntilReleased) {
    ASSERT_TRUE(write(TBX_RES_CAB_SJ, "ZOLT_CAB7").ok());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), openError(target, GENERIC_WRITE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), openError(target, DELETE));
    HANDLE reader = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader) << "the engine reads it";
    CloseHandle(reader);
    holds.release();
    EXPECT_EQ(0u, openError(target, GENERIC_WRITE));
}

TEST_F(ResourceWriting, AnotherNameOfTheTargetIsReplacedNotWrittenThrough) {
    // A second name for a file elsewhere, put where the payload goes: the payload must not land in that file.
    const std::string elsewhere = target + ".elsewhere";
    std::ofstream(elsewhere, std::ios::binary) << "precious";
    ASSERT_TRUE(CreateHardLinkA(target.c_str(), elsewhere.c_str(), nullptr));
    ASSERT_TRUE(write(TBX_RES_CAB_SS, "ZOLT_CAB9").ok());
    EXPECT_EQ("precious", readFile(elsewhere));
    EXPECT_EQ(resourceBytes(TBX_RES_CAB_SS, "ZOLT_CAB9"), readFile(target));
    DeleteFileA(elsewhere.c_str());
}

TEST(PayloadFolders, CacheFoldersLetOnlySystemAndAdministratorsWriteAndUsersRead) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor = testing_support::descriptorFromSddl(cacheFolderSecurityText());
    ASSERT_TRUE(descriptor.get());
    const ACCESS_MASK readAndList = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    EXPECT_EQ("", entryDistrust(descriptor.get(), EntryKind::Folder, kFolderAddRights));
    EXPECT_EQ("", foreignGrant(descriptor.get(), FILE_ALL_ACCESS & ~readAndList, nullptr));
    EXPECT_NE("", foreignGrant(descriptor.get(), FILE_READ_DATA, nullptr)) << "users read";
    EXPECT_FALSE(hasLowIntegrityLabel(descriptor.get()));
    // Nothing from the folder above (users may add folders to the common application data folder), and
    // everything passed on to what is created inside.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                  ace->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    }
}

TEST_F(ResourceWriting, NothingIsWrittenIntoAFolderTheRunDoesNotHold) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(TBX_RES_CAB_SJ), "ZOLT_CAB7");
    const PayloadWriteResult result = WriteResourceToFile(holds, self, target.c_str(), resource);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), result.error);
    EXPECT_FALSE(testing_support::fileExists(target));
}

// A test folder below LocalLow, held as a Protected folder of the cache is, removed with what the tests put in it
// and every folder set aside beside it.
class TestLeaf {
public:
    explicit TestLeaf(const char* name_) : name(name_), path(localLowFolder() + "\\" + name_) { remove(); }
    ~TestLeaf() { remove(); }
    void remove() const {
        WIN32_FIND_DATAA found;
        UniqueFind find(FindFirstFileA((path + "*").c_str(), &found));
        if (!find) return;
        do {
            const std::string folder = localLowFolder() + "\\" + found.cFileName;
            for (const char* file : {"earlier.txt", "kit.msi"}) DeleteFileA((folder + "\\" + file).c_str());
            RemoveDirectoryA(folder.c_str());
        } while (FindNextFileA(find.get(), &found));
    }
    // How many folders of that name were set aside.
    int setAside() const {
        int count = 0;
        WIN32_FIND_DATAA found;
        UniqueFind find(FindFirstFileA((path + ".*.old").c_str(), &found));
        if (find) do ++count; while (FindNextFileA(find.get(), &found));
        return count;
    }
    bool hold(RunHolds& holds) const {
        const ChainLink chain[] = {{name, FolderRole::Protected, nullptr}};
        return holdFolderChain(holds, localLowFolder().c_str(), chain, "test");
    }
    const char* name;
    std::string path;
};

TEST(PayloadFolders, AHeldFolderCannotBeRenamedUntilReleased) {
    TestLeaf leaf("tbx-held-folder-test");
    RunHolds holds;
    ASSERT_TRUE(leaf.hold(holds));
    EXPECT_FALSE(MoveFileA(leaf.path.c_str(), (leaf.path + ".moved").c_str()));
    holds.release();
    EXPECT_TRUE(MoveFileA(leaf.path.c_str(), (leaf.path + ".moved").c_str()));
    RemoveDirectoryA((leaf.path + ".moved").c_str());
}

// The descriptor a test supplies for every entry the trust check reads (Wine keeps no access lists).
std::string suppliedSddl;

DWORD supplySecurity(HANDLE, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(
               suppliedSddl.c_str(), SDDL_REVISION_1, descriptor.receive(),
               nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
}

// Supplies descriptors while it lives.
class SuppliedSecurity {
public:
    explicit SuppliedSecurity(const std::string& sddl) {
        suppliedSddl = sddl;
        setEntrySecurityReader(&supplySecurity);
    }
    ~SuppliedSecurity() { setEntrySecurityReader(nullptr); }
};

const std::string kUser = "S-1-5-21-1-2-3-1001";

// Whoever made a cache folder before the launcher, holds an inheritable grant on it or may add to it, may have
// opened it with rights they keep or put something in it: such a folder is set aside and a new one, protected as
// it is created, takes its place; the launcher's own is kept.
TEST(PayloadFolders, AnExistingCacheFolderIsKeptOnlyWhenTrusted) {
    std::wstring leafText = cacheFolderSecurityText();
    struct Case {
        const char* name;
        std::string sddl;
        bool kept;
    } cases[] = {
        {"as the launcher makes it", std::string(leafText.begin(), leafText.end()), true},
        {"made by a user", "O:" + kUser + "D:(A;OICI;FA;;;" + kUser + ")", false},
        {"an inheritable grant to a user", "O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;" + kUser + ")", false},
        {"users may add files and folders", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x1200af;;;BU)", false},
        {"what the common application data folder gives users", "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;WD;;;BU)",
         false},
    };
    TestLeaf leaf("tbx-existing-leaf-test");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SuppliedSecurity supplied(c.sddl);
        CreateDirectoryA(leaf.path.c_str(), nullptr);
        testing_support::writeFile(leaf.path + "\\earlier.txt", "left by whoever made the folder");
        RunHolds holds;
        EXPECT_TRUE(leaf.hold(holds));
        EXPECT_EQ(c.kept, testing_support::fileExists(leaf.path + "\\earlier.txt"));
        EXPECT_EQ(0, leaf.setAside()) << "a folder set aside is emptied and removed";
        holds.release();
        leaf.remove();
    }
}

// The same folder as the one a handle was opened on.
bool sameFolder(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber;
}

// Someone made the leaf first and keeps a handle with WRITE_DAC on it, to grant themselves access again after any
// repair. Set aside, their folder takes their handle with it; one that cannot be set aside is refused, never used.
TEST(PayloadFolders, AnUntrustedFolderHeldOpenBySomeoneIsSetAsideOrRefusedNeverRepaired) {
    struct Case {
        const char* name;
        DWORD share;
        bool replaced;
    } cases[] = {
        {"their handle lets it be renamed", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
        {"their handle keeps it in place", FILE_SHARE_READ | FILE_SHARE_WRITE, false},
    };
    TestLeaf leaf("tbx-squatted-leaf-test");
    SuppliedSecurity supplied("O:" + kUser + "D:(A;OICI;FA;;;" + kUser + ")");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(CreateDirectoryA(leaf.path.c_str(), nullptr));
        testing_support::writeFile(leaf.path + "\\earlier.txt", "theirs");
        UniqueFile theirs(CreateFileA(leaf.path.c_str(), READ_CONTROL | WRITE_DAC | FILE_LIST_DIRECTORY, c.share,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(theirs);
        RunHolds holds;
        EXPECT_EQ(c.replaced, leaf.hold(holds));
        EXPECT_EQ(!c.replaced, holds.tampered());
        if (c.replaced) {
            UniqueFile atPath(CreateFileA(leaf.path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            ASSERT_TRUE(atPath);
            EXPECT_FALSE(sameFolder(theirs.get(), atPath.get())) << "their handle reaches the held leaf";
            EXPECT_TRUE(sameFolder(heldFolder(holds, leaf.path), atPath.get()));
            EXPECT_FALSE(testing_support::fileExists(leaf.path + "\\earlier.txt"));
        } else {
            EXPECT_EQ(nullptr, heldFolder(holds, leaf.path));
            EXPECT_EQ("theirs", testing_support::readFile(leaf.path + "\\earlier.txt")) << "their folder is left as it was";
        }
        theirs.reset();
        holds.release();
        leaf.remove();
    }
}


// The package cache of one test: its common application data folder is a fresh folder below the temporary
// folder, so that the whole chain from the volume root down is real and the test's own.
class CacheTest : public ::testing::Test {
protected:
    std::string productFolder() const { return packageCacheLayout::productFolderPath(programData.path(), true); }
    std::string buildFolder() const { return productFolder() + "\\" + packageCacheLayout::buildFolderName(); }
    std::string runFolder(const std::string& run) const { return buildFolder() + "\\" + run; }
    // Holds the chain down to `run` and writes the payload into it.
    void fill(PackageCache& cache, const std::string& run) {
        ASSERT_TRUE(cache.holdRunFolder(programData.path(), true, run));
        ASSERT_TRUE(cache.write(GetModuleHandleA(nullptr)).ok());
    }
    testing_support::TempDir programData;
    // The cache's folders as the launcher makes them, also when Wine reads them back.
    const std::wstring cacheText = cacheFolderSecurityText();
    SuppliedSecurity launchersOwn{std::string(cacheText.begin(), cacheText.end())};
};

TEST_F(CacheTest, EveryPayloadFileIsWrittenWholeIntoANewFolderOfTheRunsOwnAndHeld) {
    RunHolds holds;
    PackageCache cache(holds);
    fill(cache, "0123456789abcdef");
    EXPECT_EQ(runFolder("0123456789abcdef"), cache.runFolder());
    for (const packageCacheLayout::PayloadFile& file : packageCacheLayout::payloadFiles()) {
        SCOPED_TRACE(file.name);
        const std::string path = cache.runFolder() + "\\" + file.name;
        EXPECT_EQ(resourceBytes(file.id, file.type), readFile(path));
        EXPECT_TRUE(cache.wrote(file.name));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), openError(path, GENERIC_WRITE));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), openError(path, DELETE));
    }
    EXPECT_EQ(std::string("tbx") + buildconstants::productVersion + ".msi", packageCacheLayout::kitDatabaseName());
}

// A program that keeps an earlier run's database open (anyone may read it) cannot make a later run fail: the later
// run never writes where an earlier one did.
TEST_F(CacheTest, AnEarlierRunsFileHeldByAReaderDoesNotStopTheNextRun) {
    {
        RunHolds holds;
        PackageCache cache(holds);
        fill(cache, "earlier");
        cache.settle(true);
    }
    UniqueFile reader(CreateFileA((runFolder("earlier") + "\\" + packageCacheLayout::kitDatabaseName()).c_str(),
                                  GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    testing_support::LogCapture log;
    RunHolds holds;
    PackageCache cache(holds);
    fill(cache, "later");
    cache.settle(true);
    EXPECT_EQ(resourceBytes(TBX_RES_KIT_MSI, TBX_RES_TYPE_INSTALLER),
              readFile(runFolder("later") + "\\" + packageCacheLayout::kitDatabaseName()));
    EXPECT_TRUE(testing_support::fileExists(runFolder("earlier"))) << "what is held stays for a later run";
    EXPECT_EQ(1, log.count("a later run removes it"));
    reader.reset();
    holds.release();
}

// After an install the cache keeps this run's payload as the kit's repair source and nothing else of this
// product; after a failure it drops this run's folder and keeps what the installed build needs.
TEST_F(CacheTest, WhatARunLeavesInTheCache) {
    struct Case {
        const char* name;
        bool installed;
        bool thisRunStays;
        bool othersStay;
    } cases[] = {
        {"installed", true, true, false},
        {"not installed", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunHolds holds;
        PackageCache cache(holds);
        fill(cache, std::string("run-") + (c.installed ? "installed" : "failed"));
        // An older build's and an interrupted run's folders, as earlier launchers left them.
        const std::string olderBuild = productFolder() + "\\11";
        const std::string interrupted = runFolder("interrupted");
        for (const std::string& folder : {olderBuild, olderBuild + "\\run", interrupted})
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        testing_support::writeFile(olderBuild + "\\run\\tbx.msi", "older");
        testing_support::writeFile(interrupted + "\\ss.cab", "cut");
        cache.settle(c.installed);
        holds.release();
        EXPECT_EQ(c.thisRunStays, testing_support::fileExists(cache.runFolder() + "\\au.msi"));
        EXPECT_EQ(c.thisRunStays, testing_support::fileExists(cache.runFolder()));
        EXPECT_EQ(c.othersStay, testing_support::fileExists(olderBuild));
        EXPECT_EQ(c.othersStay, testing_support::fileExists(interrupted));
        testing_support::removeTree(productFolder());
    }
}

// Nobody but an administrator can make a folder where the run's goes, and the run's name is new: one that is
// there already is not used, and nothing is written.
TEST_F(CacheTest, ARunFolderThatIsThereAlreadyIsRefused) {
    {
        RunHolds holds;
        PackageCache cache(holds);
        ASSERT_TRUE(cache.holdRunFolder(programData.path(), true, "first"));
    }
    ASSERT_TRUE(CreateDirectoryA(runFolder("taken").c_str(), nullptr));
    testing_support::LogCapture log;
    RunHolds holds;
    PackageCache cache(holds);
    EXPECT_FALSE(cache.holdRunFolder(programData.path(), true, "taken"));
    EXPECT_TRUE(holds.tampered());
    EXPECT_EQ(1, log.count("exists already; not used."));
    EXPECT_FALSE(cache.write(GetModuleHandleA(nullptr)).ok());
}

TEST_F(CacheTest, AFailedWriteLeavesNothingOnceTheRunIsOver) {
    RunHolds holds;
    PackageCache cache(holds);
    ASSERT_TRUE(cache.holdRunFolder(programData.path(), true, "cut"));
    writeCalls = 0;
    const PayloadWriteResult result = cache.write(GetModuleHandleA(nullptr), &diskFullOnSecondChunk);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), result.error);
    cache.settle(false);
    EXPECT_FALSE(testing_support::fileExists(runFolder("cut")));
    EXPECT_TRUE(testing_support::fileExists(buildFolder()));
}

// Users may add folders to the common application data folder, so the cache's first folder may be their link to a
// folder of theirs, retargeted at will. Nothing is written through it, and what it leads to is left as it was.
TEST_F(CacheTest, ALinkInACacheFoldersPlaceIsNeverGoneThrough) {
    testing_support::TempDir theirs;
    testing_support::writeFile(theirs.file("planted.msi"), "theirs");
    const std::string maker = programData.path() + "\\Zoltsys";
    ASSERT_TRUE(testing_support::makeUnixLink(theirs.path(), maker));
    testing_support::LogCapture log;
    RunHolds holds;
    PackageCache cache(holds);
    if (cache.holdRunFolder(programData.path(), true, "run")) {
        // Where a link can be renamed as itself, it is set aside and a folder of the launcher's own made.
        EXPECT_EQ(0u, GetFileAttributesA(maker.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_TRUE(cache.write(GetModuleHandleA(nullptr)).ok());
    } else {
        // Where an open goes through the link, it cannot be set aside without moving their folder: refused.
        EXPECT_TRUE(holds.tampered());
        EXPECT_EQ(1, log.count("cannot be set aside")) << log.raw();
    }
    holds.release();
    EXPECT_EQ("theirs", testing_support::readFile(theirs.file("planted.msi")));
    EXPECT_FALSE(testing_support::fileExists(theirs.file("Package Cache"))) << "something was written through it";
    DeleteFileA(maker.c_str());
    RemoveDirectoryA(maker.c_str());
}

TEST_F(CacheTest, OnlyAFolderOnADriveOfThisMachineIsUsed) {
    for (const char* programDataPath : {"\\\\server\\share\\ProgramData", "ProgramData", ""}) {
        SCOPED_TRACE(programDataPath);
        RunHolds holds;
        PackageCache cache(holds);
        EXPECT_FALSE(cache.holdRunFolder(programDataPath, true, "run"));
        EXPECT_TRUE(holds.tampered());
    }
}

// Every relative open the code makes: the folder handle it was made in, the name, whether it creates, and the
// descriptor it gives a new entry.
struct RecordedOpen {
    HANDLE folder;
    std::wstring name;
    RelativeDisposition disposition;
    std::wstring descriptor;
};
std::vector<RecordedOpen> recordedOpens;

DWORD recordingOpen(HANDLE folder, const std::wstring& name, const RelativeRequest& request, UniqueFile& entry,
                    bool* created) {
    recordedOpens.push_back({folder, name, request.disposition,
                             request.descriptor ? descriptorSddl(request.descriptor) : L"(inherited)"});
    return openRelativeDirectly(folder, name, request, entry, created);
}

class RecordedOpens {
public:
    RecordedOpens() {
        recordedOpens.clear();
        setRelativeOpener(&recordingOpen);
    }
    ~RecordedOpens() { setRelativeOpener(nullptr); }
    // The creation of `name`; null when it was never created.
    const RecordedOpen* creation(const std::wstring& name) const {
        for (const RecordedOpen& open : recordedOpens)
            if (open.name == name && open.disposition == RelativeDisposition::Create) return &open;
        return nullptr;
    }
};

std::wstring sddlOf(const std::wstring& text) { return descriptorSddl(ProtectedDescriptor(text).get()); }
std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The cache's folders and the payload files get their final list in the call that makes them, inside the handle
// of the folder above, which the run holds; the folders of the system above are never made. The checker trusts
// what the code really writes.
TEST_F(CacheTest, FoldersAndFilesAreMadeProtectedInsideTheHeldFolderAbove) {
    RunHolds holds;
    PackageCache cache(holds);
    RecordedOpens recorder;
    fill(cache, "recorded");
    const std::string cacheFolder = programData.path() + "\\Zoltsys\\Package Cache";
    struct Case {
        const char* name;
        std::wstring entry;
        std::string heldAbove;
        std::wstring sddl;
        EntryKind kind;
    } cases[] = {
        {"maker", L"Zoltsys", programData.path(), sddlOf(cacheFolderSecurityText()), EntryKind::Folder},
        {"cache", L"Package Cache", programData.path() + "\\Zoltsys", sddlOf(cacheFolderSecurityText()),
         EntryKind::Folder},
        {"product", wide(packageCacheLayout::productFolderName(true)), cacheFolder,
         sddlOf(cacheFolderSecurityText()), EntryKind::Folder},
        {"build", wide(packageCacheLayout::buildFolderName()), productFolder(), sddlOf(cacheFolderSecurityText()),
         EntryKind::Folder},
        {"run", L"recorded", buildFolder(), sddlOf(cacheFolderSecurityText()), EntryKind::Folder},
        {"kit database", wide(packageCacheLayout::kitDatabaseName()), runFolder("recorded"),
         sddlOf(payloadFileSecurityText()), EntryKind::File},
        {"auto-update database", L"au.msi", runFolder("recorded"), sddlOf(payloadFileSecurityText()),
         EntryKind::File},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordedOpen* made = recorder.creation(c.entry);
        ASSERT_NE(nullptr, made);
        EXPECT_NE(nullptr, made->folder);
        EXPECT_EQ(heldFolder(holds, c.heldAbove), made->folder);
        EXPECT_EQ(c.sddl, made->descriptor);
        const std::string written(made->descriptor.begin(), made->descriptor.end());
        EXPECT_EQ("", entryDistrust(testing_support::descriptorFromSddl(written).get(), c.kind, kFolderAddRights));
    }
    for (const RecordedOpen& open : recordedOpens)
        EXPECT_FALSE(open.disposition == RelativeDisposition::Create && open.descriptor == L"(inherited)")
            << "made with what it inherits: " << std::string(open.name.begin(), open.name.end());
    holds.release();
}

}  // namespace
