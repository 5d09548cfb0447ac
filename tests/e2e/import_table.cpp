// Reads a PE file's import and delay-load directories by hand, so the test does not trust the loader.
#include "import_table.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "test_support.h"

namespace e2e {
namespace {

class Image {
public:
    explicit Image(std::string bytes_) : bytes(std::move(bytes_)) {
        const auto dos = at<IMAGE_DOS_HEADER>(0);
        if (dos.e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("no DOS header");
        headers = at<IMAGE_NT_HEADERS64>(static_cast<size_t>(dos.e_lfanew));
        if (headers.Signature != IMAGE_NT_SIGNATURE || headers.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            throw std::runtime_error("not a 64-bit PE image");
        sections = static_cast<size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                   headers.FileHeader.SizeOfOptionalHeader;
    }

    const IMAGE_DATA_DIRECTORY& directory(int index) const { return headers.OptionalHeader.DataDirectory[index]; }

    // The file offset of a relative virtual address.
    size_t offsetOf(DWORD rva) const {
        for (WORD i = 0; i < headers.FileHeader.NumberOfSections; ++i) {
            const auto section = at<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
            DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + size)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        throw std::runtime_error("address outside every section");
    }

    std::string textAt(DWORD rva) const {
        size_t offset = offsetOf(rva);
        size_t end = bytes.find('\0', offset);
        if (end == std::string::npos) throw std::runtime_error("unterminated name");
        return bytes.substr(offset, end - offset);
    }

    // A copy of the structure at `offset`: the file's bytes need not be aligned for it.
    template <class T>
    T at(size_t offset) const {
        if (offset + sizeof(T) > bytes.size()) throw std::runtime_error("truncated image");
        T value;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }

private:
    std::string bytes;
    IMAGE_NT_HEADERS64 headers{};
    size_t sections = 0;
};

}  // namespace

ImportedLibraries readImportedLibraries(const std::string& path) {
    Image image(testing_support::readFile(path));
    ImportedLibraries result;
    const auto& imports = image.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (imports.VirtualAddress != 0) {
        for (size_t offset = image.offsetOf(imports.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto entry = image.at<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (entry.Name == 0) break;
            result.imported.push_back(image.textAt(entry.Name));
        }
    }
    const auto& delayed = image.directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    if (delayed.VirtualAddress != 0) {
        for (size_t offset = image.offsetOf(delayed.VirtualAddress);; offset += sizeof(IMAGE_DELAYLOAD_DESCRIPTOR)) {
            const auto entry = image.at<IMAGE_DELAYLOAD_DESCRIPTOR>(offset);
            if (entry.DllNameRVA == 0) break;
            result.delayLoaded.push_back(image.textAt(entry.DllNameRVA));
        }
    }
    return result;
}

}  // namespace e2e
