// Which runtime settings files the elevated launcher may read, judged from the owners and access lists of the
// file, its folder and the folder above (supplied as SDDL: Wine keeps no access lists on files to read back).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "installconfig/runtime_settings_trust.h"
#include "platform/protected_entries.h"
#include "platform/win_handles.h"
#include "settings/settings_os.h"
#include "test_support.h"

namespace {

using testing_support::descriptorFromSddl;

std::string narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

TEST(RuntimeSettingsTrust, TheFileAndBothFoldersAsTheLauncherWritesThemAreTrustedAndNothingElse) {
    // Exactly what the writer hands to the create calls.
    const std::string file = narrow(settings_impl::settingsFileSecurityDescriptorText());
    const std::string folder = narrow(kProtectedFolderSddl);
    const std::string user = "S-1-5-21-1-2-3-1001";
    struct Case {
        const char* name;
        std::string file;
        std::string folder;
        std::string vendorFolder;
        const char* why;  // part of the reason; null: trusted
    } cases[] = {
        {"written by the launcher", file, folder, folder, nullptr},
        {"an inheritable full-control grant on the folder above", file, folder,
         "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")", "on the folder above it, "},
        {"the file owned by the running account", "O:" + user + "D:P(A;;FA;;;BA)(A;;FR;;;WD)", folder, folder,
         "on the file, its owner"},
        {"a grant to a user on the folder", file, "O:BAD:P(A;OICI;FA;;;BA)(A;;FA;;;" + user + ")", folder,
         "on its folder, "},
        {"the folder made by another user", file, "O:" + user + "D:P(A;OICI;FA;;;BA)", folder, "on its folder, "},
        {"users may write the file", "O:BAD:(A;;FA;;;BA)(A;;FRFW;;;BU)", folder, folder, "on the file, "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalMemory<PSECURITY_DESCRIPTOR> f = descriptorFromSddl(c.file);
        LocalMemory<PSECURITY_DESCRIPTOR> d = descriptorFromSddl(c.folder);
        LocalMemory<PSECURITY_DESCRIPTOR> v = descriptorFromSddl(c.vendorFolder);
        const std::string why = settingsFileDistrust(f.get(), d.get(), v.get());
        if (c.why) {
            EXPECT_NE(std::string::npos, why.find(c.why)) << why;
        } else {
            EXPECT_EQ("", why);
        }
    }
}

}  // namespace
