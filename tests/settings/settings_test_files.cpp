// The settings tests' files: temporary folders, file bytes, engine-side names.
#include "settings_test_files.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace settings_test {
namespace {

unsigned long processId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    folder = std::filesystem::temp_directory_path() /
             ("settings-test-" + std::to_string(processId()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string TempFolder::name(const std::string& relative) const { return engineName(folder / relative); }

std::string engineName(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.u8string();
#else
    return "C:" + path.string();
#endif
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace settings_test
