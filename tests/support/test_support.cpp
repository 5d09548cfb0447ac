// Implementation of the shared test helpers.
#include "test_support.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/logger.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace testing_support {

namespace {
std::string uniqueName(const char* prefix) {
    static std::atomic<unsigned> counter{0};
    char name[128];
    std::snprintf(name, sizeof name, "%s-%lu-%u-%lu", prefix, GetCurrentProcessId(), counter++, GetTickCount());
    return name;
}

}  // namespace

namespace {
bool keyExists(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
}  // namespace

OwnedKey::OwnedKey(HKEY root, const std::string& path, REGSAM view) : root_(root), view_(view) {
    for (size_t end = path.find('\\'); created_.empty(); end = path.find('\\', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!keyExists(root, prefix, view)) created_ = prefix;
        if (end == std::string::npos) break;
    }
}

void OwnedKey::remove() const {
    if (created_.empty()) return;
    const size_t slash = created_.rfind('\\');
    const std::string parentPath = slash == std::string::npos ? std::string() : created_.substr(0, slash);
    const std::string name = slash == std::string::npos ? created_ : created_.substr(slash + 1);
    HKEY parent = nullptr;
    if (RegOpenKeyExA(root_, parentPath.empty() ? nullptr : parentPath.c_str(), 0, KEY_ALL_ACCESS | view_, &parent) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeA(parent, name.c_str());
    RegDeleteKeyExA(parent, name.c_str(), view_, 0);
    RegCloseKey(parent);
}

std::string tempRoot() {
    char buf[MAX_PATH + 1] = "";
    DWORD n = GetTempPathA(sizeof buf, buf);
    std::string dir(buf, n);
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

LogCapture::LogCapture() : path_(tempRoot() + "\\" + uniqueName("tbxlog") + ".log") {
    previous_ = Logger::instance().logFilePath;
    Logger::instance().logFilePath = path_;
}

LogCapture::~LogCapture() {
    Logger::instance().logFilePath = previous_;
    DeleteFileA(path_.c_str());
}

std::string LogCapture::raw() const { return readFile(path_); }

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> out;
    std::istringstream in(raw());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '\t') out.push_back(line.substr(1));
    }
    return out;
}

int LogCapture::count(const std::string& text) const {
    int n = 0;
    for (const std::string& m : messages())
        if (m.find(text) != std::string::npos) ++n;
    return n;
}

TempDir::TempDir() : path_(tempRoot() + "\\" + uniqueName("tbxtest")) { CreateDirectoryA(path_.c_str(), nullptr); }

TempDir::~TempDir() { removeTree(path_); }

std::string localLowFolder() {
    CoTaskMemory<PWSTR> path;
    EXPECT_EQ(S_OK, SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, path.receive()));
    return tstrings::toAnsi(path.get());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void removeTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            // A link goes as itself; what it leads to is someone else's.
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!DeleteFileA(child.c_str())) RemoveDirectoryA(child.c_str());
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::string unixPath(const std::string& windowsPath) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!unixName) return "";
    const std::wstring wide = tstrings::toUtf16(windowsPath);
    char* name = unixName(wide.c_str());
    if (!name) return "";
    std::string path = name;
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

int runUnixShell(const std::string& command) {
    // A Unix program started from Wine gives no handle to wait for: the command writes its status to a file of
    // this call's own when it is done, and that file is waited for.
    static std::atomic<unsigned> calls{0};
    const std::string done = tempRoot() + "\\unix-shell-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++calls) + ".status";
    const std::string doneUnix = unixPath(done);
    if (doneUnix.empty()) return -1;
    std::string line = "Z:\\bin\\sh -c \"" + command + "; echo $? > '" + doneUnix + ".part' && mv '" + doneUnix +
                       ".part' '" + doneUnix + "'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    // A Unix command of a test takes moments; the bound is for one that never ends, however busy the machine.
    for (int i = 0; i < 2400 && !fileExists(done); ++i) Sleep(50);
    if (!fileExists(done)) return -1;
    const std::string status = readFile(done);
    DeleteFileA(done.c_str());
    return status.empty() ? -1 : std::atoi(status.c_str());
}

bool makeUnixLink(const std::string& target, const std::string& link) {
    const std::string from = unixPath(target);
    const std::string at = unixPath(link);
    if (from.empty() || at.empty()) return false;
    if (runUnixShell("ln -s '" + from + "' '" + at + "'") != 0) return false;
    const DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string exeDir() {
    char buf[4096] = "";
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string path(buf, n);
    return path.substr(0, path.find_last_of("\\/"));
}

std::string toolPath(const std::string& exeName) { return exeDir() + "\\" + exeName; }

LocalMemory<PSECURITY_DESCRIPTOR> descriptorFromSddl(const std::string& sddl) {
    LocalMemory<PSECURITY_DESCRIPTOR> memory;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, memory.receive(),
                                                                     nullptr))
        << sddl;
    return memory;
}

LocalMemory<PSECURITY_DESCRIPTOR> descriptorFromSddl(const std::wstring& sddl) {
    LocalMemory<PSECURITY_DESCRIPTOR> memory;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, memory.receive(),
                                                                     nullptr))
        << std::string(sddl.begin(), sddl.end());
    return memory;
}

std::vector<DWORD> processesThatDoNotEnd(const std::string& image, DWORD graceMs, bool endThem) {
    std::vector<DWORD> left;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return left;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (!process) continue;
        char found[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!QueryFullProcessImageNameA(process.get(), 0, found, &size) || lstrcmpiA(found, image.c_str()) != 0)
            continue;
        if (WaitForSingleObject(process.get(), graceMs) == WAIT_OBJECT_0) continue;
        left.push_back(entry.th32ProcessID);
        if (!endThem) continue;
        UniqueHandle leftover(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (leftover) TerminateProcess(leftover.get(), 1);
    }
    return left;
}

std::string engineLogOf(const std::string& commandLine) {
    const std::string opening = " /l*v \"";
    const size_t at = commandLine.rfind(opening);
    if (at == std::string::npos || commandLine.size() < 5 || commandLine.back() != '"') return std::string();
    const std::string path = commandLine.substr(at + opening.size(), commandLine.size() - at - opening.size() - 1);
    const size_t name = path.find_last_of('\\');
    if (path.find('"') != std::string::npos || name == std::string::npos ||
        path.compare(name + 1, 8, "tbx-msi-") != 0 || path.size() < 4 || path.compare(path.size() - 4, 4, ".log") != 0)
        return std::string();
    return path;
}

std::string withoutEngineLog(const std::string& commandLine) {
    const std::string path = engineLogOf(commandLine);
    if (path.empty()) return commandLine;
    return commandLine.substr(0, commandLine.size() - path.size() - 8);
}

}  // namespace testing_support
