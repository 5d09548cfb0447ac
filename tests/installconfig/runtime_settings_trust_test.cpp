// Which runtime settings files the elevated launcher may read, judged from owner and access lists supplied
// as SDDL (Wine keeps no access lists on files to read back).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "installconfig/runtime_settings_trust.h"
#include "platform/win_handles.h"

namespace {

constexpr const char* kSelf = "S-1-5-21-1-2-3-1000";

LocalMemory<PSECURITY_DESCRIPTOR> descriptor(const std::string& sddl) {
    LocalMemory<PSECURITY_DESCRIPTOR> memory;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, memory.receive(),
                                                                     nullptr))
        << sddl;
    return memory;
}

TEST(RuntimeSettingsTrust, OnlyFilesNobodyElseCouldHaveChangedAreRead) {
    // As the launcher writes the file, and as the common application-data folder passes its access down to a
    // folder an administrator creates: users may add files there, which does not matter once the file exists.
    const std::string goodFile = "O:BAD:P(A;;FA;;;BA)(A;;FR;;;S-1-5-21-1-2-3-513)(A;;FR;;;WD)";
    const std::string goodFolder =
        "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;CI;0x116;;;BU)"
        "(A;OICIIO;FA;;;CO)";
    const std::string self = kSelf;
    const std::string other = "S-1-5-21-1-2-3-1001";
    struct Case {
        const char* name;
        std::string file;
        std::string folder;
        const char* why;  // part of the reason; null: trusted
    } cases[] = {
        {"written by the launcher", goodFile, goodFolder, nullptr},
        {"owned by the running account", "O:" + self + "D:(A;;FA;;;" + self + ")(A;;FR;;;WD)", goodFolder, nullptr},
        {"made by another user before the first run", "O:" + other + "D:(A;;FA;;;" + other + ")(A;;FR;;;WD)",
         goodFolder, "the file's owner S-1-5-21-1-2-3-1001"},
        {"users may write it", "O:BAD:(A;;FA;;;BA)(A;;FRFW;;;BU)", goodFolder, "on the file, S-1-5-32-545 may"},
        {"another user may delete it", "O:BAD:(A;;FA;;;BA)(A;;SDFR;;;" + other + ")", goodFolder, "on the file"},
        {"everyone may change its access list", "O:BAD:(A;;FA;;;BA)(A;;WDFR;;;WD)", goodFolder, "on the file"},
        {"folder made by another user", goodFile, "O:" + other + "D:(A;OICI;FA;;;BA)", "the folder's owner"},
        {"users may delete the folder's children", goodFile, "O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", "on the folder"},
        {"users may change the folder's access list", goodFile, "O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", "on the folder"},
    };
    LocalMemory<PSID> selfSid;
    ASSERT_TRUE(ConvertStringSidToSidA(kSelf, selfSid.receive()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalMemory<PSECURITY_DESCRIPTOR> file = descriptor(c.file);
        LocalMemory<PSECURITY_DESCRIPTOR> folder = descriptor(c.folder);
        std::string why = settingsFileDistrust(file.get(), folder.get(), selfSid.get());
        if (c.why) {
            EXPECT_NE(std::string::npos, why.find(c.why)) << why;
        } else {
            EXPECT_EQ("", why);
        }
    }
}

TEST(RuntimeSettingsTrust, AFileWithoutAccessListIsNotRead) {
    // Built by hand: a missing access list lets everyone do anything.
    SECURITY_DESCRIPTOR file;
    ASSERT_TRUE(InitializeSecurityDescriptor(&file, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&file, TRUE, nullptr, FALSE));
    LocalMemory<PSID> administrators;
    ASSERT_TRUE(ConvertStringSidToSidA("BA", administrators.receive()));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&file, administrators.get(), FALSE));
    LocalMemory<PSECURITY_DESCRIPTOR> folder = descriptor("O:BAD:(A;OICI;FA;;;BA)");
    EXPECT_EQ("on the file, no access list: everyone may do anything",
              settingsFileDistrust(&file, folder.get(), nullptr));
}

}  // namespace
