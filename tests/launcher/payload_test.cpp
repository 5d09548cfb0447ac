// Payload extraction: folder and file names, whole writes of any size, the cabinet thread and its event,
// and the auto-update database.
#include "launcher/payload.h"
#include "launcher/cabinet_writer.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "buildinfo/payload_resources.h"
#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "launcher/per_user_paths.h"
#include "platform/descriptor_check.h"
#include "platform/entry_trust.h"
#include "platform/protected_entries.h"
#include "platform/relative_entries.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

using testing_support::localLowFolder;

std::string kitFolder() { return localLowFolder() + "\\Lumo\\Zolt\\tbx1.9.3_17_x64"; }

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

// What the tests' runs hold, and their per-user folders, found as a run finds them.
RunHolds& testHolds() {
    static RunHolds holds;
    return holds;
}
const PerUserPaths& userPaths() {
    static PerUserPaths paths(testHolds());
    static const bool located = paths.locate() == ERROR_SUCCESS;
    EXPECT_TRUE(located);
    return paths;
}

void removeKitFolderFiles() {
    testHolds().release();
    for (const char* name : {"ss193170.cab", "st193170.cab", "sj193170.cab", "sz193170.cab", "tbx1.9.3_17.msi"})
        DeleteFileA((kitFolder() + "\\" + name).c_str());
}

TEST(PayloadPaths, KitDatabaseAndCabinetsGoToTheVersionFolderBelowLocalLow) {
    EXPECT_FALSE(Is32BitEnvironment());
    char folder[kUserDataFolderSize] = "";
    ASSERT_TRUE(GetUserDataFolder(folder));
    EXPECT_EQ(localLowFolder(), folder);

    char path[kPayloadPathSize];
    ASSERT_TRUE(GetMsiPath(path, true));
    EXPECT_EQ(kitFolder() + "\\tbx1.9.3_17.msi", path);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(kitFolder().c_str())) << "the chain is created";
    ASSERT_TRUE(GetMsiPath(path, false));
    EXPECT_EQ(localLowFolder() + "\\Lumo\\Zolt\\tbx1.9.3_17\\tbx1.9.3_17.msi", path);
    RemoveDirectoryA((localLowFolder() + "\\Lumo\\Zolt\\tbx1.9.3_17").c_str());

    ASSERT_TRUE(GetCabPath(path, "sj193170", true));
    EXPECT_EQ(kitFolder() + "\\sj193170.cab", path);
}

TEST(PayloadPaths, ACabinetNameThatDoesNotFitIsRefusedNotCut) {
    char path[kPayloadPathSize];
    EXPECT_FALSE(GetCabPath(path, std::string(kPayloadPathSize, 'c').c_str(), true));
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

HANDLE WINAPI noThreads(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// The engine waits for the event: whatever happens to the cabinet thread, the event is set and the failure comes
// back to the run once the thread is over.
TEST(CabinetWriterTest, AFailureToStartOrToWriteSetsTheEventAndIsReported) {
    removeKitFolderFiles();
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName));
    ASSERT_TRUE(event);
    {
        CabinetWriter writer(GetModuleHandleA(nullptr), userPaths(), true, event.get(), &noThreads);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 0));
        const PayloadWriteResult result = writer.finish();
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), result.error);
        EXPECT_STREQ("Installer : Wrapper.CreateThread ", result.what);
    }
    {
        writeCalls = 0;
        CabinetWriter writer(GetModuleHandleA(nullptr), userPaths(), true, event.get(), &CreateThread,
                             &diskFullOnSecondChunk);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 30000));
        const PayloadWriteResult result = writer.finish();
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), result.error);
        // The first cabinet is two chunks: its second fails, it is deleted and no later one is written.
        for (const char* name : {"ss193170.cab", "st193170.cab", "sj193170.cab", "sz193170.cab"})
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((kitFolder() + "\\" + name).c_str())) << name;
    }
    {
        CabinetWriter writer(GetModuleHandleA(nullptr), userPaths(), true, event.get());
        EXPECT_TRUE(writer.finish().ok());
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((kitFolder() + "\\sz193170.cab").c_str()));
    }
    removeKitFolderFiles();
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

TEST(PayloadFolders, LeavesLetOnlySystemAndAdministratorsWriteAndEveryoneRead) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor = testing_support::descriptorFromSddl(leafFolderSecurityText());
    ASSERT_TRUE(descriptor.get());
    const ACCESS_MASK readAndList = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    EXPECT_EQ("", entryDistrust(descriptor.get(), EntryKind::Folder));
    EXPECT_EQ("", foreignGrant(descriptor.get(), FILE_ALL_ACCESS & ~readAndList, nullptr));
    EXPECT_NE("", foreignGrant(descriptor.get(), FILE_READ_DATA, nullptr)) << "everyone else reads";
    EXPECT_FALSE(hasLowIntegrityLabel(descriptor.get()));
    // Nothing from the user-writable folder above, and everything passed on to what is created inside.
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

// A test leaf below LocalLow, removed with what the tests put in it and every folder set aside beside it.
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
        const ChainLink chain[] = {{name, FolderRole::Leaf, nullptr}};
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

// Whoever made a leaf before the launcher, or holds an inheritable grant on it, may have opened it with rights
// they keep: such a leaf is set aside and a new one, protected as it is created, takes its place; the launcher's
// own is kept.
TEST(PayloadFolders, AnExistingLeafIsKeptOnlyWhenTrusted) {
    std::wstring leafText = leafFolderSecurityText();
    struct Case {
        const char* name;
        std::string sddl;
        bool kept;
    } cases[] = {
        {"as the launcher makes it", std::string(leafText.begin(), leafText.end()), true},
        {"made by a user", "O:" + kUser + "D:(A;OICI;FA;;;" + kUser + ")", false},
        {"an inheritable grant to a user", "O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;" + kUser + ")", false},
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
TEST(PayloadFolders, AnUntrustedLeafHeldOpenBySomeoneIsSetAsideOrRefusedNeverRepaired) {
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

// The leaves and the payload files get their final list in the call that makes them, inside the handle of the
// folder above, which the run holds; the checker trusts what the code really writes.
TEST(PayloadFolders, LeavesAndFilesAreMadeProtectedInsideTheHeldFolderAbove) {
    const std::string kitParent = localLowFolder() + "\\Lumo\\Zolt";
    const std::string auFolder = localLowFolder() + "\\Vantrel\\Zolt\\AU";
    for (const std::string& leaf : {kitFolder(), auFolder}) {
        for (const char* file : {"\\tbx1.9.3_17.msi", "\\au.msi"}) DeleteFileA((leaf + file).c_str());
        RemoveDirectoryA(leaf.c_str());
    }
    RunHolds holds;
    PerUserPaths paths(holds);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), paths.locate());
    {
        RecordedOpens recorder;
        char kitDatabase[kPayloadPathSize];
        char auDatabase[kAutoUpdatePathSize];
        ASSERT_TRUE(paths.kitDatabase(kitDatabase, true));
        ASSERT_TRUE(paths.autoUpdateDatabase(auDatabase));
        HMODULE self = GetModuleHandleA(nullptr);
        ASSERT_TRUE(WriteResourceToFile(holds, self, kitDatabase,
                                        FindResourceA(self, MAKEINTRESOURCEA(TBX_RES_AU_MSI), TBX_RES_TYPE_INSTALLER))
                        .ok());
        struct Case {
            const char* name;
            std::wstring entry;
            std::string heldAbove;
            std::wstring sddl;
            EntryKind kind;
        } cases[] = {
            {"kit leaf", L"tbx1.9.3_17_x64", kitParent, sddlOf(leafFolderSecurityText()), EntryKind::Folder},
            {"auto-update leaf", L"AU", localLowFolder() + "\\Vantrel\\Zolt", sddlOf(leafFolderSecurityText()),
             EntryKind::Folder},
            {"kit database", L"tbx1.9.3_17.msi", kitFolder(), sddlOf(payloadFileSecurityText()), EntryKind::File},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const RecordedOpen* made = recorder.creation(c.entry);
            ASSERT_NE(nullptr, made);
            EXPECT_EQ(heldFolder(holds, c.heldAbove), made->folder);
            EXPECT_NE(nullptr, made->folder);
            EXPECT_EQ(c.sddl, made->descriptor);
            const std::string written(made->descriptor.begin(), made->descriptor.end());
            EXPECT_EQ("", entryDistrust(testing_support::descriptorFromSddl(written).get(), c.kind));
        }
    }
    holds.release();
    DeleteFileA((kitFolder() + "\\tbx1.9.3_17.msi").c_str());
}

TEST(CabinetThread, WritesAllFourCabinetsBeforeItSetsTheEvent) {
    removeKitFolderFiles();
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName));
    ASSERT_TRUE(event);
    CabinetJob job;
    job.module = GetModuleHandleA(nullptr);
    job.paths = &userPaths();
    job.event = event.get();
    UniqueHandle thread(CreateThread(nullptr, 0, ExtractCabFiles, &job, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 30000));
    // Everything is in place the moment the event is seen, not only when the thread ends.
    struct {
        const char* file;
        WORD id;
        const char* type;
    } cabinets[] = {{"ss193170.cab", TBX_RES_CAB_SS, "ZOLT_CAB9"},
                    {"st193170.cab", TBX_RES_CAB_ST, "ZOLT_CAB10"},
                    {"sj193170.cab", TBX_RES_CAB_SJ, "ZOLT_CAB7"},
                    {"sz193170.cab", TBX_RES_CAB_SZ, "ZOLT_CAB11"}};
    for (const auto& cab : cabinets) {
        SCOPED_TRACE(cab.file);
        EXPECT_EQ(resourceBytes(cab.id, cab.type), readFile(kitFolder() + "\\" + cab.file));
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 30000));
    DWORD result = 0;
    GetExitCodeThread(thread.get(), &result);
    EXPECT_EQ(1u, result);
    EXPECT_TRUE(job.result.ok());
    removeKitFolderFiles();
}

TEST(CabinetThread, MissingCabinetResourcesAreSkippedAndTheEventIsStillSet) {
    removeKitFolderFiles();
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName));
    // kernel32 carries none of the payload resources.
    CabinetJob job;
    job.module = GetModuleHandleA("kernel32");
    job.paths = &userPaths();
    job.event = event.get();
    EXPECT_EQ(1u, ExtractCabFiles(&job));
    EXPECT_TRUE(job.result.ok());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 0));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((kitFolder() + "\\ss193170.cab").c_str()));
}

TEST(AutoUpdateDatabase, IsWrittenBelowVantrelAndAnExistingChainIsAccepted) {
    const std::string database = localLowFolder() + "\\Vantrel\\Zolt\\AU\\au.msi";
    DeleteFileA(database.c_str());
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "fresh" : "folders already there");
        // The installation itself runs (this database is not a real one, so its result is the engine's).
        const AutoUpdateOutcome outcome = ExtractAutoUpdateMsi(GetModuleHandleA(nullptr), userPaths(), true);
        EXPECT_EQ(AutoUpdateExtraction::Installed, outcome.what);
        EXPECT_EQ(resourceBytes(TBX_RES_AU_MSI, TBX_RES_TYPE_INSTALLER), readFile(database));
        testHolds().release();
    }
    DeleteFileA(database.c_str());
}

TEST(AutoUpdateDatabase, AMissingResourceIsToldApartFromAFailure) {
    EXPECT_EQ(AutoUpdateExtraction::NotCarried,
              ExtractAutoUpdateMsi(GetModuleHandleA("kernel32"), userPaths(), true).what);
}

}  // namespace
