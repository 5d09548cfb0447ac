// Helpers for the installer configuration tests: the runtime settings file set aside, and command lines.
#include "config_test_support.h"

#include <windows.h>

#include "platform/tstrings.h"
#include "settings/settings_api.h"
#include "test_support.h"

namespace config_test {

RuntimeFileGuard::RuntimeFileGuard() {
    settings::settings_api api = settings::getSettingsApi();
    settings::ConfigHandle config = api.createConfig();
    const char* path = nullptr;
    api.getRuntimeFilePath(config, &path);
    path_ = tstrings::utf8ToAnsi(path);
    api.destroyConfig(config);
    hadFile_ = testing_support::fileExists(path_);
    if (hadFile_) saved_ = testing_support::readFile(path_);
    DeleteFileA(path_.c_str());
}

RuntimeFileGuard::~RuntimeFileGuard() {
    DeleteFileA(path_.c_str());
    if (hadFile_) testing_support::writeFile(path_, saved_);
}

bool RuntimeFileGuard::exists() const { return testing_support::fileExists(path_); }

std::string RuntimeFileGuard::read() const { return testing_support::readFile(path_); }

void RuntimeFileGuard::write(const std::string& bytes) const {
    std::string dir = path_.substr(0, path_.find_last_of('\\'));
    CreateDirectoryA(dir.substr(0, dir.find_last_of('\\')).c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    testing_support::writeFile(path_, bytes);
}

std::wstring commandLine(const std::vector<std::string>& args) {
    std::wstring out = L"prog.exe";
    for (const std::string& arg : args) {
        std::wstring wide = tstrings::toUtf16(arg);
        out += arg.empty() || arg.find(' ') != std::string::npos ? L" \"" + wide + L"\"" : L" " + wide;
    }
    return out;
}

}  // namespace config_test
