// The serializer and saving settings files: line forms, new versus existing files, and a rewrite that never loses the old file.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "settings/config.h"
#include "settings/file_name.h"
#include "settings/serializer.h"
#include "settings/settings_os.h"
#include "settings/wide_text.h"
#include "settings_test_files.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

namespace settings_impl {
namespace {

ConfigPtr sampleConfig() {
    ConfigEntries entries;
    entries["B"] = std::make_unique<ConfigValue>(String, std::string("2"));
    entries["A"] = std::make_unique<ConfigValue>(String, std::string("x y"));
    entries["C"] = nullptr;
    entries["N"] = std::make_unique<ConfigValue>(Int, std::string("0x10"));
    return createConfig(std::move(entries));
}

TEST(Serializer, WritesEntriesInKeyOrderWithoutEscaping) {
    PlainTextEntrySerializer serializer;
    writeEntries(*sampleConfig(), serializer, true);
    EXPECT_EQ(serializer.text(), "A=x y\nB=2\nC\nN=0x10\n");
}

class SaveTest : public ::testing::Test {
protected:
    void TearDown() override { os::setReplaceFaultHook(nullptr); }
    FileName nameOf(const std::string& relative) { return FileName(folder.name(relative)).canonicalize(); }
    std::string bytesOf(const std::string& relative) { return settings_test::readBytes(folder.path() / relative); }

    settings_test::TempFolder folder;
};

TEST_F(SaveTest, NewFileEndsLinesInLfAndARewriteInCrLf) {
    saveConfigFile(*sampleConfig(), nameOf("new\\dir\\f.cfg"));
    EXPECT_EQ(bytesOf("new/dir/f.cfg"), "A=x y\nB=2\nC\nN=0x10\n");
    saveConfigFile(*sampleConfig(), nameOf("new\\dir\\f.cfg"));
    EXPECT_EQ(bytesOf("new/dir/f.cfg"), "A=x y\r\nB=2\r\nC\r\nN=0x10\r\n");
    // No leftovers beside the file.
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "new" / "dir")) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST_F(SaveTest, EmptyConfigurationIsOneSpace) {
    saveConfigFile(*createEmptyConfig(), nameOf("empty.cfg"));
    EXPECT_EQ(bytesOf("empty.cfg"), " ");
}

TEST_F(SaveTest, NamesMustBeCanonical) {
    EXPECT_THROW(saveConfigFile(*sampleConfig(), FileName(folder.name("x.cfg"))), std::logic_error);
}

// A save stopped between writing the new text and replacing: what a killed process leaves.
void stopBeforeReplacing(const std::wstring&) { throw std::runtime_error("stopped before replacing"); }

TEST_F(SaveTest, AStopBeforeReplacingLeavesTheOldFileByteForByte) {
    const std::string old = "OLD=1\r\nKEEP=me\r\n";
    settings_test::writeBytes(folder.path() / "f.cfg", old);
    os::setReplaceFaultHook(&stopBeforeReplacing);
    EXPECT_THROW(saveConfigFile(*sampleConfig(), nameOf("f.cfg")), std::runtime_error);
    EXPECT_EQ(bytesOf("f.cfg"), old);
}

void exitBeforeReplacing(const std::wstring&) { std::_Exit(3); }

TEST_F(SaveTest, AProcessKilledBeforeReplacingLeavesTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string old = "OLD=1\r\n";
    settings_test::writeBytes(folder.path() / "f.cfg", old);
    const FileName name = nameOf("f.cfg");
    EXPECT_EXIT(
        {
            os::setReplaceFaultHook(&exitBeforeReplacing);
            saveConfigFile(*sampleConfig(), name);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(bytesOf("f.cfg"), old);
    saveConfigFile(*sampleConfig(), name);  // the next save still works over the leftover
    EXPECT_EQ(bytesOf("f.cfg"), "A=x y\r\nB=2\r\nC\r\nN=0x10\r\n");
}

TEST_F(SaveTest, AFolderInTheWayIsReportedAndNothingIsLost) {
    std::filesystem::create_directories(folder.path() / "dir.cfg");
    try {
        saveConfigFile(*sampleConfig(), nameOf("dir.cfg"));
        ADD_FAILURE() << "a folder cannot be saved over";
    } catch (const settings::Exception& e) {
        EXPECT_TRUE(e.code == 304 || e.code == 306) << e.code;
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "dir.cfg"));
}

TEST(RuntimeSettingsPath, IsTheCommonApplicationDataFolderAndTheFixedTail) {
    EXPECT_EQ(runtimeSettingsPath(), wideToUtf8(os::commonAppDataFolder()) + "\\Vantrel\\Zolt\\zolt.settings.cfg");
}

#ifdef _WIN32

std::wstring securityText(PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    EXPECT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                                     &text, nullptr));
    std::wstring result = text ? text : L"";
    LocalFree(text);
    return result;
}

TEST(SettingsFileSecurity, OwnedByAdministratorsProtectedWithThreeAllowEntries) {
    const std::wstring sddl = settingsFileSecurityDescriptorText();
    EXPECT_EQ(sddl.rfind(L"O:BAD:P(A;;FA;;;BA)(A;;FR;;;S-1-5-21-", 0), 0u) << sddl;
    EXPECT_EQ(sddl.substr(sddl.size() - 17), L"-513)(A;;FR;;;WD)") << sddl;

    std::vector<uint8_t> descriptor = settingsFileSecurityDescriptor();
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor.data()));
    EXPECT_EQ(securityText(descriptor.data()), sddl);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    EXPECT_EQ(dacl->AceCount, 3);
    PSID owner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted));
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing the folders above grant passes down";
}

// The Domain Users entry only for accounts of an account domain; LocalSystem, the other service accounts and
// Azure AD accounts have none, and asking for it made every export of such a run fail.
TEST(SettingsFileSecurity, DomainUsersOnlyForAccountDomainSids) {
    struct Case {
        const wchar_t* sid;
        const wchar_t* sddl;
    } cases[] = {
        {L"S-1-5-21-1004336348-1177238915-682003330-1001",
         L"O:BAD:P(A;;FA;;;BA)(A;;FR;;;S-1-5-21-1004336348-1177238915-682003330-513)(A;;FR;;;WD)"},
        {L"S-1-5-18", L"O:BAD:P(A;;FA;;;BA)(A;;FR;;;WD)"},
        {L"S-1-5-19", L"O:BAD:P(A;;FA;;;BA)(A;;FR;;;WD)"},
        {L"S-1-12-1-1234567890-1234567890-1234567890-1234567890", L"O:BAD:P(A;;FA;;;BA)(A;;FR;;;WD)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(wideToUtf8(c.sid));
        const std::wstring sddl = settingsFileSecurityDescriptorText(c.sid);
        EXPECT_EQ(sddl, c.sddl);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                         nullptr));
        LocalFree(descriptor);
    }
}

// What reached CreateFileW for the last new settings file.
struct CreateCall {
    int count = 0;
    std::vector<std::wstring> names;
    std::wstring dacl;
    DWORD share = 99;
    DWORD disposition = 0;
    BOOL inherit = TRUE;
} lastCreate;

HANDLE WINAPI recordingCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
    ++lastCreate.count;
    lastCreate.names.push_back(name);
    lastCreate.dacl = security ? securityText(security->lpSecurityDescriptor) : L"(none)";
    lastCreate.inherit = security ? security->bInheritHandle : TRUE;
    lastCreate.share = share;
    lastCreate.disposition = disposition;
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

// Wine keeps no access list on files, so the descriptor is checked where it reaches CreateFileW. The new file is
// made under a name nobody can guess, flushed, and only then given its own name.
TEST_F(SaveTest, ANewFileIsCreatedWithTheThreeEntriesAndARewriteKeepsItsOwn) {
    lastCreate = CreateCall();
    os::setNewFileCreator(&recordingCreateFile);
    saveConfigFile(*sampleConfig(), nameOf("new.cfg"));
    saveConfigFile(*sampleConfig(), nameOf("new.cfg"));
    saveConfigFile(*sampleConfig(), nameOf("other.cfg"));
    os::setNewFileCreator(nullptr);
    EXPECT_EQ(lastCreate.count, 2) << "the rewrite replaces the file and brings no access list of its own";
    EXPECT_EQ(lastCreate.dacl, settingsFileSecurityDescriptorText());
    EXPECT_EQ(lastCreate.share, 0u);
    EXPECT_EQ(lastCreate.disposition, static_cast<DWORD>(CREATE_NEW));
    EXPECT_FALSE(lastCreate.inherit);
    ASSERT_EQ(lastCreate.names.size(), 2u);
    for (const std::wstring& name : lastCreate.names) {
        EXPECT_EQ(name.size() - 4, name.rfind(L".tmp")) << wideToUtf8(name);
    }
    // Random parts differ, so the name of the next one cannot be known from the last one.
    const std::wstring first = lastCreate.names[0].substr(lastCreate.names[0].size() - 20);
    const std::wstring second = lastCreate.names[1].substr(lastCreate.names[1].size() - 20);
    EXPECT_NE(first, second);
    EXPECT_EQ(bytesOf("other.cfg"), "A=x y\nB=2\nC\nN=0x10\n");
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2u) << "no temporary file is left";
}

// Another process holding the file (a reader, a virus scanner) for a moment delays a rewrite but does not fail it;
// one that keeps holding it fails the rewrite and the old text stays.
TEST_F(SaveTest, ARewriteBlockedForAMomentIsTriedAgain) {
    struct Case {
        const char* name;
        DWORD holdMs;
        bool saved;
    } cases[] = {{"held briefly", 200, true}, {"held throughout", 4000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string old = "OLD=1\r\n";
        settings_test::writeBytes(folder.path() / "held.cfg", old);
        const std::wstring path = (folder.path() / "held.cfg").wstring();
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread releaser([held, &c] {
            Sleep(c.holdMs);
            CloseHandle(held);
        });
        int32_t code = 0;
        try {
            saveConfigFile(*sampleConfig(), nameOf("held.cfg"));
        } catch (const settings::Exception& e) {
            code = e.code;
        }
        releaser.join();
        EXPECT_EQ(code, c.saved ? 0 : 306);
        EXPECT_EQ(bytesOf("held.cfg"), c.saved ? "A=x y\r\nB=2\r\nC\r\nN=0x10\r\n" : old);
    }
}

#else

TEST_F(SaveTest, NewFileIsReadableByAllAndAReplacedFileKeepsItsMode) {
    saveConfigFile(*sampleConfig(), nameOf("new.cfg"));
    struct stat info;
    ASSERT_EQ(::stat((folder.path() / "new.cfg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(info.st_uid, ::getuid());

    settings_test::writeBytes(folder.path() / "own.cfg", "X=1\n");
    ASSERT_EQ(::chmod((folder.path() / "own.cfg").c_str(), 0600), 0);
    saveConfigFile(*sampleConfig(), nameOf("own.cfg"));
    ASSERT_EQ(::stat((folder.path() / "own.cfg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

#endif

}  // namespace
}  // namespace settings_impl
