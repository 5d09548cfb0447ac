// The runtime settings file as the elevated launcher holds it: which files and folders it trusts (judged from
// supplied descriptors, since Wine keeps no access lists on files), the folders it replaces instead of repairing,
// the new file it puts in place, and what stopped runs left beside it.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installconfig/runtime_settings_trust.h"
#include "installconfig/settings_leftovers.h"
#include "platform/protected_entries.h"
#include "platform/relative_create.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "settings/settings_os.h"
#include "test_support.h"

namespace {

using testing_support::descriptorFromSddl;
using testing_support::fileExists;
using testing_support::LogCapture;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::string narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

const std::string kOtherUser = "S-1-5-21-1-2-3-1001";

TEST(RuntimeSettingsTrust, TheFileAndBothFoldersAsTheLauncherWritesThemAreTrustedAndNothingElse) {
    // Exactly what the writer hands to the create calls.
    const std::string file = narrow(settings_impl::settingsFileSecurityDescriptorText());
    const std::string folder = narrow(kProtectedFolderSddl);
    const std::string user = kOtherUser;
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

// The descriptor supplied for each entry the trust check reads: an untrusted owner for the one entry `target`
// names, what the launcher writes for every other.
BY_HANDLE_FILE_INFORMATION untrustedEntry{};

DWORD supplySecurity(HANDLE entry, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(entry, &info);
    const bool untrusted = info.nFileIndexLow == untrustedEntry.nFileIndexLow &&
                           info.nFileIndexHigh == untrustedEntry.nFileIndexHigh &&
                           info.dwVolumeSerialNumber == untrustedEntry.dwVolumeSerialNumber;
    const std::wstring sddl =
        untrusted ? tstrings::toUtf16("O:" + kOtherUser + "D:(A;OICI;FA;;;" + kOtherUser + ")")
        : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? std::wstring(kProtectedFolderSddl)
                                                             : settings_impl::settingsFileSecurityDescriptorText();
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.receive(),
                                                                nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
}

// What reached the relative create calls.
struct Created {
    std::string name;
    EntryKind kind;
    std::wstring sddl;
};
std::vector<Created> created;

void recordCreate(const std::wstring& name, EntryKind kind, PSECURITY_DESCRIPTOR descriptor) {
    created.push_back({narrow(name), kind, descriptor ? descriptorSddl(descriptor) : L"(none)"});
}

// Puts recorders in front of the trust check's reads and the creates while it lives.
class Recorders {
public:
    Recorders() {
        created.clear();
        setEntrySecurityReader(&supplySecurity);
        setRelativeCreateRecorder(&recordCreate);
    }
    ~Recorders() {
        setRelativeCreateRecorder(nullptr);
        setEntrySecurityReader(nullptr);
        untrustedEntry = BY_HANDLE_FILE_INFORMATION{};
    }
};

BY_HANDLE_FILE_INFORMATION identity(HANDLE entry) {
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(entry, &info));
    return info;
}

bool sameEntry(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.nFileIndexLow == b.nFileIndexLow && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber;
}

TEST(SettingsLeftovers, EveryNameTheLauncherGivesIsKnownAndNoLookAlike) {
    const std::wstring file = L"zolt.settings.cfg";
    struct Case {
        const wchar_t* entry;
        LeftoverKind kind;
    } cases[] = {
        {L"zolt.settings.cfg.0123456789abcdef.tmp", LeftoverKind::Staged},
        {L"zolt.settings.cfg.0123456789ABCDEF.tmp", LeftoverKind::Staged},
        {L"zolt.settings.cfg.0123456789abcdef.tmp.fedcba9876543210.tmp", LeftoverKind::NestedStaged},
        {L"zolt.settings.cfg.0123456789abcdef.old", LeftoverKind::SetAside},
        {L"ZOLT.SETTINGS.CFG.0123456789abcdef.old", LeftoverKind::SetAside},
        {L"~probe-0123456789abcdef.tmp", LeftoverKind::Probe},
        {L"zolt.settings.cfg", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcde.tmp", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef0.tmp", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdeg.old", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef.tmp.fedcba987654321.tmp", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef.tmp.fedcba9876543210.old", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef.old.fedcba9876543210.tmp", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef.tmp2", LeftoverKind::None},
        {L"zolt.settings.cfg.0123456789abcdef.old.bak", LeftoverKind::None},
        {L"other.settings.cfg.0123456789abcdef.tmp", LeftoverKind::None},
        {L"~probe-0123456789abcdef.old", LeftoverKind::None},
        {L"~probe-0123456789abcde.tmp", LeftoverKind::None},
        {L"x~probe-0123456789abcdef.tmp", LeftoverKind::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.entry));
        EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(leftoverKind(c.entry, file)));
    }
}

// "<temp>\Vantrel\Zolt\zolt.settings.cfg": the runtime settings file's place, below a folder of the test's own.
class SettingsTree {
public:
    SettingsTree() {
        CreateDirectoryA(vendor().c_str(), nullptr);
        CreateDirectoryA(folder().c_str(), nullptr);
    }
    std::string vendor() const { return dir.file("Vantrel"); }
    std::string folder() const { return vendor() + "\\Zolt"; }
    std::string inFolder(const std::string& name) const { return folder() + "\\" + name; }
    std::string file() const { return inFolder("zolt.settings.cfg"); }
    std::wstring wideFile() const { return tstrings::toUtf16(file()); }
    // The names in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        WIN32_FIND_DATAA data;
        UniqueFind search(FindFirstFileA((folder() + "\\*").c_str(), &data));
        if (search) {
            do {
                const std::string name = data.cFileName;
                if (name != "." && name != "..") found.push_back(name);
            } while (FindNextFileA(search.get(), &data));
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    TempDir dir;
};

enum class Plant { PlainFile, Folder, FileWithSecondName, HeldByAnotherProcess };

struct Leftover {
    const char* what;
    const char* name;
    Plant plant;
    bool removed;
};

// Plants `leftover` in the tree; the returned handle, when not empty, stands for a process at work on it.
UniqueFile plant(const SettingsTree& tree, const Leftover& leftover) {
    const std::string path = tree.inFolder(leftover.name);
    switch (leftover.plant) {
    case Plant::PlainFile: writeFile(path, "half a settings file"); break;
    case Plant::Folder:
        CreateDirectoryA(path.c_str(), nullptr);
        writeFile(path + "\\inside.txt", "kept");
        break;
    case Plant::FileWithSecondName:
        writeFile(tree.inFolder("second-name.txt"), "shared");
        EXPECT_TRUE(CreateHardLinkA(path.c_str(), tree.inFolder("second-name.txt").c_str(), nullptr));
        break;
    case Plant::HeldByAnotherProcess:
        writeFile(path, "being written");
        return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    }
    return UniqueFile();
}

// Every name a run of the launcher can leave behind, and look-alikes that are someone else's. (A symbolic link
// is judged by the same check as the folder and the second name; Wine cannot make one.)
const Leftover kLeftovers[] = {
    {"a new file not yet in place", "zolt.settings.cfg.0123456789abcdef.tmp", Plant::PlainFile, true},
    {"the file a new file was written through", "zolt.settings.cfg.0123456789abcdef.tmp.fedcba9876543210.tmp",
     Plant::PlainFile, true},
    {"a settings file set aside", "zolt.settings.cfg.0123456789abcdef.old", Plant::PlainFile, true},
    {"a writability probe", "~probe-0123456789abcdef.tmp", Plant::PlainFile, true},
    {"upper-case hex digits", "zolt.settings.cfg.0123456789ABCDEF.tmp", Plant::PlainFile, true},
    {"15 hex digits", "zolt.settings.cfg.0123456789abcde.tmp", Plant::PlainFile, false},
    {"17 hex digits", "zolt.settings.cfg.0123456789abcdef0.old", Plant::PlainFile, false},
    {"a probe with 15 hex digits", "~probe-0123456789abcde.tmp", Plant::PlainFile, false},
    {"another file's leftover", "other.settings.cfg.0123456789abcdef.tmp", Plant::PlainFile, false},
    {"a folder of that name", "zolt.settings.cfg.1111222233334444.old", Plant::Folder, false},
    {"a file with a second name", "zolt.settings.cfg.5555666677778888.tmp", Plant::FileWithSecondName, false},
    {"a file another process is writing", "zolt.settings.cfg.9999aaaabbbbcccc.tmp", Plant::HeldByAnotherProcess,
     false},
};

TEST(SettingsLeftovers, ARunRemovesItsOwnPlainLeftoversAndNothingElse) {
    for (const Leftover& leftover : kLeftovers) {
        SCOPED_TRACE(leftover.what);
        SettingsTree tree;
        writeFile(tree.file(), "AUTO_UPDATE=Disable\r\n");
        UniqueFile busy = plant(tree, leftover);
        LogCapture log;
        Recorders recorders;
        {
            RuntimeSettingsCheck check(tree.wideFile());
            EXPECT_EQ(leftover.removed ? 1 : 0, check.removeLeftovers());
        }
        EXPECT_EQ(!leftover.removed, fileExists(tree.inFolder(leftover.name)));
        EXPECT_EQ(leftover.removed ? 1 : 0, log.count(std::string("Removed ") + leftover.name));
        EXPECT_EQ("AUTO_UPDATE=Disable\r\n", readFile(tree.file()));
        if (leftover.plant == Plant::Folder) {
            EXPECT_EQ("kept", readFile(tree.inFolder(leftover.name) + "\\inside.txt"));
        }
        if (leftover.plant == Plant::FileWithSecondName) {
            EXPECT_EQ("shared", readFile(tree.inFolder("second-name.txt")));
        }
        if (leftover.plant == Plant::HeldByAnotherProcess) {
            EXPECT_EQ("being written", readFile(tree.inFolder(leftover.name)));
        }
    }
}

TEST(SettingsPutBack, AMissingFileIsTakenFromTheNewestFileASaveSetAside) {
    const char* const older = "zolt.settings.cfg.1111111111111111.old";
    const char* const newer = "zolt.settings.cfg.2222222222222222.old";
    struct Case {
        const char* name;
        const char* settings;            // null: no settings file
        std::vector<const char*> aside;  // planted in this order, each written later than the one before
        Plant plant;
        const char* read;     // what the run reads; null: no file
        const char* putBack;  // the name put back; null: none
    } cases[] = {
        {"a file set aside and none in its place", nullptr, {older}, Plant::PlainFile, "FROM=1111\r\n", older},
        {"two set aside: the newer", nullptr, {older, newer}, Plant::PlainFile, "FROM=2222\r\n", newer},
        {"a settings file in place", "IN=PLACE\r\n", {older}, Plant::PlainFile, "IN=PLACE\r\n", nullptr},
        {"a folder of that name", nullptr, {older}, Plant::Folder, nullptr, nullptr},
        {"a file with a second name", nullptr, {older}, Plant::FileWithSecondName, nullptr, nullptr},
        {"a file another process holds", nullptr, {older}, Plant::HeldByAnotherProcess, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsTree tree;
        if (c.settings) writeFile(tree.file(), c.settings);
        std::vector<UniqueFile> busy;
        // Each written an hour after the one before: the order the put-back goes by.
        FILETIME written{0, 0x01d00000};
        for (const char* name : c.aside) {
            const std::string path = tree.inFolder(name);
            busy.push_back(plant(tree, {"", name, c.plant, false}));
            if (c.plant != Plant::PlainFile) continue;
            writeFile(path, std::string("FROM=") + std::string(name).substr(18, 4) + "\r\n");
            UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
            written.dwHighDateTime += 8;  // 8 << 32 units of 100 ns: about an hour
        }
        LogCapture log;
        Recorders recorders;
        RuntimeSettingsCheck check(tree.wideFile());
        EXPECT_EQ(c.read != nullptr, check.exists());
        if (c.read) {
            EXPECT_EQ(c.read, check.text());
        }
        EXPECT_EQ(c.putBack ? c.putBack : "", narrow(check.putBack()));
        EXPECT_EQ(c.putBack ? 1 : 0, log.count("set aside by a run that was stopped, is put back"));
        if (c.putBack) {
            EXPECT_FALSE(fileExists(tree.inFolder(c.putBack)));
        }
    }
}

// Names in `folder` that start with `prefix` and end with ".old".
std::vector<std::string> setAsideIn(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    UniqueFind search(FindFirstFileA((folder + "\\" + prefix + ".*.old").c_str(), &data));
    if (search) {
        do found.push_back(data.cFileName);
        while (FindNextFileA(search.get(), &data));
    }
    return found;
}

// Someone made a folder of the chain before the first install and keeps a handle to it open, with which they
// could change its access list again after any repair: it is set aside with that handle still on it, and a new
// folder, protected from its creation, takes the name.
TEST(SettingsFolders, AnUntrustedFolderIsReplacedWhileItsMakerHoldsItNotRepaired) {
    struct Case {
        const char* name;
        bool vendor;      // the untrusted one is "Vantrel", else "Zolt"
        bool fileInstead; // a file stands in the folder's place
        std::vector<std::string> made;  // created, in order
    } cases[] = {
        {"Zolt made by another user", false, false, {"Zolt", "zolt.settings.cfg.*.tmp"}},
        {"Vantrel made by another user", true, false, {"Vantrel", "Zolt", "zolt.settings.cfg.*.tmp"}},
        {"a file in Zolt's place", false, true, {"Zolt", "zolt.settings.cfg.*.tmp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsTree tree;
        writeFile(tree.file(), "INSTALLDIR=C:\\Planted\r\n");
        const std::string target = c.vendor ? tree.vendor() : tree.folder();
        if (c.fileInstead) {
            testing_support::removeTree(target);
            writeFile(target, "not a folder");
        }
        UniqueFile maker(CreateFileA(target.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(maker);
        LogCapture log;
        Recorders recorders;
        untrustedEntry = identity(maker.get());
        DWORD prepared = 0, written = 0;
        std::string distrust;
        {
            RuntimeSettingsCheck check(tree.wideFile());
            distrust = check.distrust();
            prepared = check.prepareExport();
            written = check.write("EULA=Enable\r\n");
        }
        EXPECT_EQ(ERROR_SUCCESS, prepared);
        EXPECT_EQ(ERROR_SUCCESS, written);
        if (!c.fileInstead) {
            EXPECT_NE("", distrust) << "the planted file was trusted";
        }
        EXPECT_EQ("EULA=Enable\r\n", readFile(tree.file()));
        // The name leads to a new folder; the maker's handle is still on the one set aside.
        UniqueFile now(CreateFileA(target.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(now);
        EXPECT_FALSE(sameEntry(identity(maker.get()), identity(now.get())));
        const std::string parent = target.substr(0, target.find_last_of('\\'));
        const std::string leaf = target.substr(target.find_last_of('\\') + 1);
        EXPECT_EQ(1u, setAsideIn(parent, leaf).size());
        EXPECT_EQ(1, log.count("WARNING: The folder " + target + " is not trusted"));
        // Each entry made with its final access list in the call that made it.
        ASSERT_EQ(c.made.size(), created.size());
        for (size_t i = 0; i < created.size(); ++i) {
            SCOPED_TRACE(created[i].name);
            const bool file = created[i].kind == EntryKind::File;
            EXPECT_EQ(c.made[i].substr(0, c.made[i].find('*')), created[i].name.substr(0, c.made[i].find('*')));
            ProtectedDescriptor expected(file ? settings_impl::settingsFileSecurityDescriptorText()
                                              : std::wstring(kProtectedFolderSddl));
            EXPECT_EQ(descriptorSddl(expected.get()), created[i].sddl);
        }
        EXPECT_EQ(std::vector<std::string>{"zolt.settings.cfg"}, tree.names());
    }
}

// A new file has LF line ends, a file that replaces one CR LF; either way only the file is left in the folder, and
// a new file that is never put in place goes with the run.
TEST(SettingsWrite, TheNewFileTakesTheNameAndNothingElseIsLeft) {
    struct Case {
        const char* name;
        const char* before;  // null: no file
        bool write;
        const char* after;  // null: no file
    } cases[] = {
        {"first file", nullptr, true, "EULA=Enable\n"},
        {"a file replaced", "AUTO_UPDATE=Disable\r\n", true, "EULA=Enable\r\n"},
        {"prepared, never written, no file", nullptr, false, nullptr},
        {"prepared, never written, a file", "AUTO_UPDATE=Disable\r\n", false, "AUTO_UPDATE=Disable\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsTree tree;
        if (c.before) writeFile(tree.file(), c.before);
        Recorders recorders;
        {
            RuntimeSettingsCheck check(tree.wideFile());
            ASSERT_EQ(ERROR_SUCCESS, check.prepareExport());
            EXPECT_EQ(1u, tree.names().size() - (c.before ? 1 : 0)) << "the new file is started";
            if (c.write) {
                const std::string bytes = check.replacesExistingFile() ? "EULA=Enable\r\n" : "EULA=Enable\n";
                EXPECT_EQ(ERROR_SUCCESS, check.write(bytes));
            }
        }
        EXPECT_EQ(c.after != nullptr, fileExists(tree.file()));
        if (c.after) {
            EXPECT_EQ(c.after, readFile(tree.file()));
        }
        EXPECT_EQ(c.after ? std::vector<std::string>{"zolt.settings.cfg"} : std::vector<std::string>(), tree.names());
    }
}

// A reader that lets others delete keeps the old file open: where the system cannot replace a file that is
// open, the old one is set aside while the new one takes the name, and removed after.
TEST(SettingsWrite, AReaderOfTheOldFileDoesNotStopTheNewOne) {
    SettingsTree tree;
    writeFile(tree.file(), "AUTO_UPDATE=Disable\r\n");
    Recorders recorders;
    RuntimeSettingsCheck check(tree.wideFile());
    UniqueFile reader(CreateFileA(tree.file().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    ASSERT_EQ(ERROR_SUCCESS, check.write("EULA=Enable\r\n"));
    EXPECT_EQ("EULA=Enable\r\n", readFile(tree.file()));
    char old[32] = "";
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader.get(), old, sizeof old - 1, &got, nullptr));
    EXPECT_EQ("AUTO_UPDATE=Disable\r\n", std::string(old, got));
    reader.reset();
    EXPECT_EQ(std::vector<std::string>{"zolt.settings.cfg"}, tree.names());
}

}  // namespace
