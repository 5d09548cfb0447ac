// Which owners and access lists the elevated run trusts, what it creates, and where a LocalSystem run logs.
// Descriptors are supplied as SDDL: Wine keeps no access lists on files to read back.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/entry_trust.h"
#include "platform/log_location.h"
#include "platform/protected_entries.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

constexpr const char* kUser = "S-1-5-21-1-2-3-1001";
constexpr const char* kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

using testing_support::descriptorFromSddl;

std::string narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

TEST(EntryTrust, OnlySystemAdministratorsAndTrustedInstallerMayOwnOrChange) {
    const std::string user = kUser;
    struct Case {
        const char* name;
        std::string sddl;
        EntryKind kind;
        const char* why;  // part of the reason; null: trusted
    } cases[] = {
        {"a protected folder as the launcher creates it", narrow(kProtectedFolderSddl), EntryKind::Folder, nullptr},
        {"owned by TrustedInstaller", std::string("O:") + kTrustedInstaller + "D:P(A;;FA;;;SY)(A;;FR;;;WD)",
         EntryKind::File, nullptr},
        {"owned by SYSTEM, everyone reads", "O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;WD)", EntryKind::File, nullptr},
        {"owned by the running account (an unelevated process of the admin made it)",
         "O:" + user + "D:P(A;;FA;;;BA)", EntryKind::File, "its owner S-1-5-21-1-2-3-1001 is not trusted"},
        {"no owner", "D:P(A;;FA;;;BA)", EntryKind::File, "no owner"},
        {"users may write the file", "O:BAD:(A;;FA;;;BA)(A;;FRFW;;;BU)", EntryKind::File, "S-1-5-32-545 may"},
        {"another user may change the file's access list", "O:BAD:(A;;FA;;;BA)(A;;WDFR;;;" + user + ")",
         EntryKind::File, "S-1-5-21-1-2-3-1001 may"},
        {"an inheritable full-control grant to a user", "O:BAD:P(A;;FA;;;BA)(A;OICIIO;FA;;;" + user + ")",
         EntryKind::Folder, "S-1-5-21-1-2-3-1001 may"},
        // A folder an administrator made below the common application-data folder, as it passes its entries on:
        // users may add files and folders, whose owners the check then refuses.
        {"as the common application-data folder passes its entries on",
         "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)",
         EntryKind::Folder, nullptr},
        {"users may write every file made inside later", "O:BAD:P(A;OICI;FA;;;BA)(A;OIIO;FW;;;BU)", EntryKind::Folder,
         "S-1-5-32-545 may"},
        {"a grant to a user on the folder", "O:BAD:P(A;OICI;FA;;;BA)(A;;FA;;;" + user + ")", EntryKind::Folder,
         "may"},
        {"creator owner, passed down only", "O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)", EntryKind::Folder,
         nullptr},
        {"a deny entry never helps", "O:BAD:(D;;FA;;;BU)(A;;FA;;;BU)", EntryKind::File, "may"},
        {"reading is no change", "O:BAD:P(A;;FA;;;BA)(A;;FR;;;BU)", EntryKind::File, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalMemory<PSECURITY_DESCRIPTOR> sd = descriptorFromSddl(c.sddl);
        const std::string why = entryDistrust(sd.get(), c.kind);
        if (c.why) {
            EXPECT_NE(std::string::npos, why.find(c.why)) << why;
        } else {
            EXPECT_EQ("", why);
        }
    }
}

TEST(EntryTrust, AMissingAccessListLetsEveryoneDoAnything) {
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    LocalMemory<PSID> administrators;
    ASSERT_TRUE(ConvertStringSidToSidA("BA", administrators.receive()));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, administrators.get(), FALSE));
    EXPECT_EQ("no access list: everyone may do anything", entryDistrust(&sd, EntryKind::File));
}

TEST(EntryTrust, NamesEveryoneElseWhoMayChangeAFileLeavingOutItsOwner) {
    LocalMemory<PSID> owner;
    ASSERT_TRUE(ConvertStringSidToSidA(kUser, owner.receive()));
    struct Case {
        const char* name;
        std::string sddl;
        EntryKind kind;
        std::vector<std::string> writers;
    } cases[] = {
        {"the owner's own file, everyone reads", std::string("O:") + kUser + "D:(A;;FA;;;" + kUser + ")(A;;FR;;;WD)",
         EntryKind::File, {}},
        // What C:\ passes down to a new folder such as C:\deploy.
        {"a folder below the system drive's root",
         "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;0x1301bf;;;AU)(A;OICIIO;SDGXGWGR;;;AU)",
         EntryKind::Folder, {"S-1-5-11"}},
        {"a file another user owns and users may write", "O:S-1-5-21-1-2-3-1002D:(A;;FA;;;BA)(A;;FW;;;BU)",
         EntryKind::File, {"S-1-5-21-1-2-3-1002", "S-1-5-32-545"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalMemory<PSECURITY_DESCRIPTOR> sd = descriptorFromSddl(c.sddl);
        EXPECT_EQ(c.writers, principalsWhoMayChange(sd.get(), c.kind, owner.get()));
    }
}

// What reached CreateDirectoryW.
std::vector<std::wstring> createdWith;

BOOL WINAPI recordingCreateDirectory(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
    createdWith.push_back(security ? descriptorSddl(security->lpSecurityDescriptor) : L"(none)");
    return CreateDirectoryW(name, security);
}

TEST(ProtectedEntries, AFolderGetsItsProtectedListInTheCreateCallAndTheCheckerTrustsIt) {
    testing_support::TempDir dir;
    createdWith.clear();
    setFolderCreator(&recordingCreateDirectory);
    ProtectedDescriptor protectedFolder(kProtectedFolderSddl);
    const std::wstring path = std::wstring(dir.path().begin(), dir.path().end()) + L"\\made";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), createProtectedFolder(path, protectedFolder));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), createProtectedFolder(path, protectedFolder));
    setFolderCreator(nullptr);
    ASSERT_EQ(2u, createdWith.size());
    EXPECT_EQ(descriptorSddl(protectedFolder.get()), createdWith[0]);
    EXPECT_EQ(0u, createdWith[0].rfind(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", 0)) << narrow(createdWith[0]);
    // The descriptor as written, read back through the same checker that decides trust.
    LocalMemory<PSECURITY_DESCRIPTOR> written = descriptorFromSddl(narrow(createdWith[0]));
    EXPECT_EQ("", entryDistrust(written.get(), EntryKind::Folder));
    EXPECT_FALSE(protectedFolder.attributes()->bInheritHandle);
}

TEST(LogPlace, ALocalSystemRunWithoutTheSecondTemporaryFolderCallLogsFreshBesideAnExposedLog) {
    struct Case {
        const char* name;
        LogPlaceFacts facts;
        bool fresh;
    } cases[] = {
        {"an administrator's run", {false, false, true}, false},
        {"LocalSystem where GetTempPath2W gives a protected folder", {true, true, true}, false},
        {"LocalSystem, existing log only administrators reach", {true, false, false}, false},
        {"LocalSystem, existing log another user made or reads", {true, false, true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.fresh, needsFreshLog(c.facts));
    }
}

TEST(LogPlace, ALogIsExposedWhenAnyoneElseOwnsReadsOrChangesIt) {
    struct Case {
        const char* sddl;
        bool exposed;
    } cases[] = {
        {"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", false},
        {"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)",
         false},
        {"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)", true},          // a user made it first
        {"O:BAD:P(A;;FA;;;SY)(A;;FR;;;BU)", true},                // users read every record
        {"O:BAD:P(A;;FA;;;SY)(A;;FA;;;S-1-5-21-1-2-3-1001)", true},  // a user forges or holds records
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sddl);
        LocalMemory<PSECURITY_DESCRIPTOR> sd = descriptorFromSddl(c.sddl);
        EXPECT_EQ(c.exposed, logDescriptorExposed(sd.get()));
    }
}

// The access list an existing folder reads as: supplied, since Wine keeps none.
std::string suppliedFolderSddl;

DWORD supplyFolderSecurity(HANDLE, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    descriptor = descriptorFromSddl(suppliedFolderSddl);
    return ERROR_SUCCESS;
}

// An administrator's log folder: each missing level made protected in its create call; one that exists is used by
// an elevated run only when only administrators may change it; never a file, a link or a relative path.
TEST(LogPlace, AnAdministratorsLogFolderIsMadeProtectedOrTrustedFirst) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir.file("a-file"), "x");
    ASSERT_TRUE(CreateDirectoryA(dir.file("there").c_str(), nullptr));
    const std::string usersMayChange = "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)";
    const std::string adminsOnly = narrow(kLogFolderSddl);
    struct Case {
        const char* name;
        std::string folder;
        bool elevated;
        std::string existingSddl;
        const char* why;  // part of the refusal; null: used
    } cases[] = {
        {"two missing levels", dir.file("new\\logs"), true, "", nullptr},
        {"a trailing separator", dir.file("trailing\\"), true, "", nullptr},
        {"there, only administrators may change it", dir.file("there"), true, adminsOnly, nullptr},
        {"there, users may change it", dir.file("there"), true, usersMayChange, "users who are not administrators"},
        {"there, users may change it, not elevated", dir.file("there"), false, usersMayChange, nullptr},
        {"a file", dir.file("a-file"), true, adminsOnly, "it is not a folder"},
        {"a relative path", "logs\\tbx", true, "", "not an absolute path"},
        {"a UNC path", "\\\\server\\share", true, "", "not an absolute path"},
    };
    const std::wstring protectedList = descriptorSddl(ProtectedDescriptor(kLogFolderSddl).get());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        suppliedFolderSddl = c.existingSddl;
        createdWith.clear();
        setFolderCreator(&recordingCreateDirectory);
        setEntrySecurityReader(&supplyFolderSecurity);
        const std::string why = logFolderRefusal(std::wstring(c.folder.begin(), c.folder.end()), c.elevated);
        setEntrySecurityReader(nullptr);
        setFolderCreator(nullptr);
        if (c.why) {
            EXPECT_NE(std::string::npos, why.find(c.why)) << why;
        } else {
            EXPECT_EQ("", why);
        }
        // Every level is made with the protected list in its create call (one that exists stays as it is).
        for (const std::wstring& sddl : createdWith) EXPECT_EQ(narrow(protectedList), narrow(sddl));
        if (!c.why) {
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.folder.c_str()));
        }
    }
}

TEST(LogPlace, TheTemporaryFolderHasNoTrailingSeparator) {
    const std::wstring folder = runTemporaryFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(L'\\', folder.back());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));
}

}  // namespace
