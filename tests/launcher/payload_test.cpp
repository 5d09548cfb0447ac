// Payload extraction: folder and file names, whole writes of any size, the cabinet thread and its event,
// and the auto-update database.
#include "launcher/payload.h"
#include "launcher/cabinet_writer.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <fstream>
#include <iterator>
#include <string>

#include "buildinfo/payload_resources.h"
#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "launcher/per_user_paths.h"
#include "platform/descriptor_check.h"
#include "platform/entry_trust.h"
#include "platform/protected_entries.h"
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
        target = std::string(temp) + "tbx-payload-test.bin";
    }
    void TearDown() override {
        holds.release();
        DeleteFileA(target.c_str());
    }
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
        HMODULE self = GetModuleHandleA(nullptr);
        HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(c.id), c.type);
        ASSERT_NE(nullptr, resource);
        EXPECT_TRUE(WriteResourceToFile(holds, self, target.c_str(), resource).ok());
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
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(TBX_RES_CAB_SZ), "ZOLT_CAB11");
    ASSERT_NE(nullptr, resource);
    writeCalls = 0;
    const PayloadWriteResult result = WriteResourceToFile(holds, self, target.c_str(), resource, &diskFullOnSecondChunk);
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
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(TBX_RES_CAB_SJ), "ZOLT_CAB7");
    ASSERT_TRUE(WriteResourceToFile(holds, self, target.c_str(), resource).ok());
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
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(TBX_RES_CAB_SS), "ZOLT_CAB9");
    ASSERT_TRUE(WriteResourceToFile(holds, self, target.c_str(), resource).ok());
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

TEST(PayloadFolders, AHeldFolderCannotBeRenamedUntilReleased) {
    const std::string folder = localLowFolder() + "\\tbx-held-folder-test";
    RunHolds holds;
    ASSERT_TRUE(holdPayloadFolder(holds, folder.c_str(), FolderRole::Leaf, "test"));
    EXPECT_FALSE(MoveFileA(folder.c_str(), (folder + ".moved").c_str()));
    holds.release();
    EXPECT_TRUE(MoveFileA(folder.c_str(), (folder + ".moved").c_str()));
    RemoveDirectoryA((folder + ".moved").c_str());
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

// Whoever made a leaf before the launcher, or holds an inheritable grant on it, may have opened it with rights
// they keep: such a leaf is replaced by a new one, protected as it is created; the launcher's own is kept.
TEST(PayloadFolders, AnExistingLeafIsKeptOnlyWhenTrusted) {
    const std::string user = "S-1-5-21-1-2-3-1001";
    std::wstring leafText = leafFolderSecurityText();
    struct Case {
        const char* name;
        std::string sddl;
        bool kept;
    } cases[] = {
        {"as the launcher makes it", std::string(leafText.begin(), leafText.end()), true},
        {"made by a user", "O:" + user + "D:(A;OICI;FA;;;" + user + ")", false},
        {"an inheritable grant to a user", "O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;" + user + ")", false},
    };
    const std::string folder = localLowFolder() + "\\tbx-existing-leaf-test";
    setEntrySecurityReader(&supplySecurity);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        suppliedSddl = c.sddl;
        CreateDirectoryA(folder.c_str(), nullptr);
        testing_support::writeFile(folder + "\\earlier.txt", "left by whoever made the folder");
        RunHolds holds;
        EXPECT_TRUE(holdPayloadFolder(holds, folder.c_str(), FolderRole::Leaf, "test"));
        EXPECT_EQ(c.kept, testing_support::fileExists(folder + "\\earlier.txt"));
        holds.release();
        DeleteFileA((folder + "\\earlier.txt").c_str());
        RemoveDirectoryA(folder.c_str());
    }
    setEntrySecurityReader(nullptr);
}

// What reached CreateFileA for a payload file.
std::wstring payloadCreatedWith;

HANDLE WINAPI recordingCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
    payloadCreatedWith = security ? descriptorSddl(security->lpSecurityDescriptor) : L"(none)";
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

TEST(PayloadFiles, AreCreatedWithTheirProtectedListWhichTheCheckerTrusts) {
    testing_support::TempDir dir;
    UniqueFile file = createPayloadFile(dir.file("kit.msi").c_str(), &recordingCreateFile);
    ASSERT_TRUE(file);
    file.reset();
    ProtectedDescriptor expected(payloadFileSecurityText());
    EXPECT_EQ(descriptorSddl(expected.get()), payloadCreatedWith);
    const std::string written(payloadCreatedWith.begin(), payloadCreatedWith.end());
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor = testing_support::descriptorFromSddl(written);
    ASSERT_TRUE(descriptor.get());
    EXPECT_EQ("", entryDistrust(descriptor.get(), EntryKind::File));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
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
