// The checks the elevated launcher makes before trusting a file or folder: links and reparse points, owners
// and access lists (supplied as SDDL, since Wine keeps no access lists to read back), and the library search
// order set before the program's own static initialisers run.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "platform/descriptor_check.h"
#include "platform/dll.h"
#include "platform/dll_search_order.h"
#include "platform/entry_trust.h"
#include "platform/link_check.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

// Read by a C++ static initialiser: the search order must already be restricted then.
const DllSearchAtStart searchSeenByStaticInitialisers = dllSearchAtStart();

TEST(LinkCheck, OnlyPlainEntriesOfTheExpectedKindPass) {
    struct Case {
        const char* name;
        DWORD attributes;
        DWORD links;
        EntryKind expected;
        bool safe;
    } cases[] = {
        {"plain file", FILE_ATTRIBUTE_ARCHIVE, 1, EntryKind::File, true},
        {"file with a second name", FILE_ATTRIBUTE_ARCHIVE, 2, EntryKind::File, false},
        {"symbolic link to a file", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 1, EntryKind::File, false},
        {"folder where a file is expected", FILE_ATTRIBUTE_DIRECTORY, 1, EntryKind::File, false},
        {"plain folder", FILE_ATTRIBUTE_DIRECTORY, 1, EntryKind::Folder, true},
        {"junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 1, EntryKind::Folder, false},
        {"file where a folder is expected", FILE_ATTRIBUTE_NORMAL, 1, EntryKind::Folder, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.safe, unsafeEntryReason(c.attributes, c.links, c.expected).empty());
    }
}

TEST(LinkCheck, SeesASecondNameFromTheOpenHandle) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir.file("a.txt"), "a");
    auto open = [](const std::string& path) {
        return UniqueHandle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    EXPECT_EQ("", unsafeOpenedEntry(open(dir.file("a.txt")).get(), EntryKind::File));
    ASSERT_TRUE(CreateHardLinkA(dir.file("b.txt").c_str(), dir.file("a.txt").c_str(), nullptr));
    EXPECT_EQ("has 2 names (hard links)", unsafeOpenedEntry(open(dir.file("a.txt")).get(), EntryKind::File));
}

using testing_support::descriptorFromSddl;

constexpr const char* kSelf = "S-1-5-21-1-2-3-1000";
constexpr const char* kOther = "S-1-5-21-1-2-3-1001";

struct Sid {
    explicit Sid(const char* text) {
        EXPECT_TRUE(ConvertStringSidToSidA(text, memory.receive()));
    }
    PSID get() const { return memory.get(); }
    LocalMemory<PSID> memory;
};

TEST(DescriptorCheck, FindsGrantsToAnyoneButSystemAdministratorsAndTheRunningAccount) {
    const std::string other = kOther;
    struct Case {
        const char* name;
        std::string sddl;
        bool foreign;
    } cases[] = {
        {"administrators and system full, everyone read", "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;WD)", false},
        {"the running account full", std::string("O:BAD:(A;;FA;;;") + kSelf + ")", false},
        {"everyone may write", "O:BAD:(A;;FA;;;BA)(A;;FW;;;WD)", true},
        {"users may modify through a generic right", "O:BAD:(A;;GW;;;BU)", true},
        {"another account may delete", "O:BAD:(A;;SD;;;" + other + ")", true},
        {"another account may change the access list", "O:BAD:(A;;WD;;;" + other + ")", true},
        {"another account may take ownership", "O:BAD:(A;;WO;;;" + other + ")", true},
        {"a grant only for children does not count", "O:BAD:(A;OICIIO;FA;;;" + other + ")", false},
        {"a deny entry is never counted on", "O:BAD:(D;;FA;;;WD)(A;;FA;;;WD)", true},
        {"owner rights of a trusted owner", "O:BAD:(A;;FA;;;OW)", false},
        {"owner rights of another owner", "O:" + other + "D:(A;;FA;;;OW)", true},
    };
    Sid self(kSelf);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalMemory<PSECURITY_DESCRIPTOR> descriptor = descriptorFromSddl(c.sddl);
        EXPECT_EQ(
            c.foreign,
            !foreignGrant(descriptor.get(), FILE_WRITE_DATA | DELETE | WRITE_DAC | WRITE_OWNER, self.get()).empty());
    }
}

TEST(DescriptorCheck, AMissingAccessListGrantsEverything) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_NE("", foreignGrant(&descriptor, DELETE, nullptr)) << "no access list present";
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_NE("", foreignGrant(&descriptor, DELETE, nullptr)) << "a null access list";
}

TEST(DescriptorCheck, TrustsOnlySystemAdministratorsAndTrustedInstallerAsOwner) {
    struct Case {
        std::string owner;
        bool trusted;
    } cases[] = {{"SY", true},
                 {"BA", true},
                 {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
                 {kSelf, false},
                 {kOther, false},
                 {"BU", false},
                 {"WD", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.owner);
        Sid owner(c.owner.c_str());
        EXPECT_EQ(c.trusted, isTrustedOwner(owner.get()));
    }
    LocalMemory<PSECURITY_DESCRIPTOR> ownerless = descriptorFromSddl("D:(A;;FA;;;BA)");
    EXPECT_EQ("it has no owner", entryDistrust(ownerless.get(), EntryKind::File));
}

TEST(DescriptorCheck, SeesALowIntegrityLabel) {
    EXPECT_TRUE(hasLowIntegrityLabel(descriptorFromSddl("D:S:(ML;OICI;NW;;;LW)").get()));
    EXPECT_FALSE(hasLowIntegrityLabel(descriptorFromSddl("D:S:(ML;OICI;NW;;;ME)").get()));
    EXPECT_FALSE(hasLowIntegrityLabel(descriptorFromSddl("D:(A;;FA;;;BA)").get()));
}

TEST(DllSearchOrder, IsRestrictedToTheSystemFolderBeforeStaticInitialisers) {
    EXPECT_EQ(DllSearchAtStart::SystemFolderOnly, searchSeenByStaticInitialisers);
}

TEST(DllSearchOrder, ALibraryBesideTheProgramIsNotFoundByName) {
    // Any library file will do; it only has to be loadable from this folder when asked for explicitly.
    const std::string name = "tbx-search-probe.dll";
    const std::string beside = testing_support::exeDir() + "\\" + name;
    ASSERT_TRUE(CopyFileA((testing_support::exeDir() + "\\planted\\crypt32.dll").c_str(), beside.c_str(), FALSE));
    HMODULE byName = LoadLibraryA(name.c_str());
    DWORD error = GetLastError();
    HMODULE explicitly = LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    if (byName) FreeLibrary(byName);
    if (explicitly) FreeLibrary(explicitly);
    DeleteFileA(beside.c_str());
    EXPECT_EQ(nullptr, byName);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
    EXPECT_NE(nullptr, explicitly) << "the probe library itself does not load";
}

TEST(DllSearchOrder, SystemLibrariesComeFromTheSystemFolder) {
    Dll crypt32 = Dll::system("crypt32");
    wchar_t path[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(crypt32.get(), path, MAX_PATH));
    EXPECT_EQ(tstrings::toUtf16(SysInfo::getSystem32Dir() + "\\"),
              std::wstring(path).substr(0, SysInfo::getSystem32Dir().size() + 1));
}

}  // namespace
