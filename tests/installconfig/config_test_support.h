// Helpers for the installer configuration tests: the runtime settings file set aside, and command lines.
#pragma once

#include <string>
#include <vector>

namespace config_test {

// Sets the runtime settings file aside for the lifetime of the object and puts it back after.
class RuntimeFileGuard {
public:
    RuntimeFileGuard();
    ~RuntimeFileGuard();
    RuntimeFileGuard(const RuntimeFileGuard&) = delete;
    RuntimeFileGuard& operator=(const RuntimeFileGuard&) = delete;

    const std::string& path() const { return path_; }
    bool exists() const;
    std::string read() const;
    void write(const std::string& bytes) const;

private:
    std::string path_;
    bool hadFile_ = false;
    std::string saved_;
};

// "prog.exe" followed by the arguments, each quoted when it holds a space.
std::wstring commandLine(const std::vector<std::string>& args);

}  // namespace config_test
