// The settings tests' files: temporary folders, file bytes, engine-side names.
#pragma once

#include <filesystem>
#include <string>

namespace settings_test {

// A fresh folder removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }
    // The engine's (Windows-style, UTF-8) name of a file in the folder.
    std::string name(const std::string& relative) const;

private:
    std::filesystem::path folder;
};

// The engine's name of a host path: itself on Windows, "C:" + path natively.
std::string engineName(const std::filesystem::path& path);

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace settings_test
