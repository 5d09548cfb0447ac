// The names of the libraries a program's file imports, read from its PE headers.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct ImportedLibraries {
    std::vector<std::string> imported;     // the import directory
    std::vector<std::string> delayLoaded;  // the delay-load directory
};

// Throws std::runtime_error when the file is not a well-formed 64-bit PE image.
ImportedLibraries readImportedLibraries(const std::string& path);

}  // namespace e2e
