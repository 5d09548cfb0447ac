// The settings engine's operating-system needs on POSIX systems, for the native build.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "settings/settings_exception.h"
#include "settings/settings_os.h"
#include "settings/wide_text.h"

namespace settings_impl {
namespace os {
namespace {

ReplaceFaultHook replaceFaultHook = nullptr;
std::wstring appDataFolder = L"C:\\var\\lib";

// Administrators (the installing user, who owns the file) full access, everyone read.
constexpr mode_t NEW_FILE_MODE = 0644;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd_) : fd(fd_) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    // False when closing reports a failure (a delayed write error).
    bool close() {
        if (fd < 0) return true;
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool isDrive(const std::string& name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

}  // namespace

std::string hostPath(const std::wstring& name) {
    std::string path = wideToUtf8(name);
    if (isDrive(path)) {
        path.erase(0, 2);
        if (path.empty()) path = "/";
    }
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

void readFileText(const std::wstring& name, size_t maxBytes, std::string& out) {
    FileDescriptor file(::open(hostPath(name).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) throw settings::Exception(304);
    std::string text(maxBytes + 1, '\0');
    size_t total = 0;
    while (total < maxBytes) {
        const ssize_t got = ::read(file.get(), &text[total], maxBytes - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw settings::Exception(307);
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    // A file that fills the whole buffer is not known to have ended: refused.
    if (total >= maxBytes) throw settings::Exception(315);
    text.resize(total);
    out.swap(text);
}

std::wstring currentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof(buffer))) throw settings::Exception(200);
    std::wstring name = L"C:" + utf8ToWide(buffer);
    for (wchar_t& c : name) {
        if (c == L'/') c = L'\\';
    }
    if (name.size() >= 260) throw settings::Exception(200);
    return name;
}

bool entryExists(const std::wstring& name) {
    struct stat info;
    return ::stat(hostPath(name).c_str(), &info) == 0;
}

MakeDirectoryResult makeDirectory(const std::wstring& name) {
    if (::mkdir(hostPath(name).c_str(), 0755) == 0) return MakeDirectoryResult::Created;
    return errno == EEXIST ? MakeDirectoryResult::AlreadyExists : MakeDirectoryResult::Failed;
}

std::wstring commonAppDataFolder() { return appDataFolder; }

void setCommonAppDataFolder(const std::wstring& folder) { appDataFolder = folder; }

void createNewSettingsFile(const std::wstring& name, const std::string& bytes) {
    FileDescriptor file(::open(hostPath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE));
    if (!file) throw settings::Exception(304);
    // The mode exactly, whatever the umask.
    if (::fchmod(file.get(), NEW_FILE_MODE) != 0) throw settings::Exception(304);
    if (!writeAll(file.get(), bytes) || !file.close()) throw settings::Exception(306);
}

void replaceSettingsFile(const std::wstring& name, const std::string& bytes) {
    const std::string path = hostPath(name);
    const std::string newPath = path + "." + std::to_string(::getpid()) + ".new";
    struct stat old;
    if (::stat(path.c_str(), &old) != 0) throw settings::Exception(304);
    FileDescriptor file(::open(newPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file) throw settings::Exception(304);
    // The old file's owner and mode pass to the new one; changing the owner needs privileges,
    // so only the mode is insisted on.
    const int ownerKept = ::fchown(file.get(), old.st_uid, old.st_gid);
    (void)ownerKept;
    const bool written = ::fchmod(file.get(), old.st_mode & 07777) == 0 && writeAll(file.get(), bytes) &&
                         ::fsync(file.get()) == 0 && file.close();
    if (!written) {
        file.close();
        ::unlink(newPath.c_str());
        throw settings::Exception(306);
    }
    if (replaceFaultHook) replaceFaultHook(utf8ToWide(newPath));
    if (::rename(newPath.c_str(), path.c_str()) != 0) {
        ::unlink(newPath.c_str());
        throw settings::Exception(306);
    }
}

void setReplaceFaultHook(ReplaceFaultHook hook) { replaceFaultHook = hook; }

}  // namespace os
}  // namespace settings_impl
