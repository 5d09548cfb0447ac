// Test scaffolding for installed-product tests.
#include <gtest/gtest.h>

#include "products_fixture.h"

#include <fstream>
#include <sstream>

#include "platform/logger.h"
#include "products/installed_products.h"

namespace products_test {

void deleteTree(REGSAM view, const std::string& path) {
    size_t slash = path.rfind('\\');
    std::string parentPath = path.substr(0, slash);
    std::string name = path.substr(slash + 1);
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(parent, name.c_str());
    RegDeleteKeyExA(parent, name.c_str(), view, 0);
    RegCloseKey(parent);
}

void setRaw(const RegistryKey& key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
}

LogFile::LogFile() {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    path = std::string(folder) + "products-test-" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(path.c_str());
    previous = Logger::instance().logFilePath;
    Logger::instance().logFilePath = path;
}

LogFile::~LogFile() {
    Logger::instance().logFilePath = previous;
    DeleteFileA(path.c_str());
}

std::string LogFile::text() const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

REGSAM installView() { return installArch() == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

void ProductRegistryTest::registerUninstallEntry(const std::string& code, REGSAM view) {
    const RegistryKey& root = view == KEY_WOW64_32KEY ? RegistryKey::localMachine32 : RegistryKey::localMachine64;
    std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
    RegistryKey(root, path, RegistryKey::write);
    uninstallEntries.emplace_back(view, path);
}

void ProductRegistryTest::SetUp() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const char* root : {zoltkeys::kitRoot, zoltkeys::runtimeRoot})
            productKeys.push_back(std::make_unique<testing_support::OwnedKey>(HKEY_LOCAL_MACHINE, root, view));
    }
    productKeys.push_back(
        std::make_unique<testing_support::OwnedKey>(HKEY_LOCAL_MACHINE, zoltkeys::autoUpdate, KEY_WOW64_32KEY));
    for (const auto& key : productKeys) ASSERT_FALSE(key->wasPresent()) << "the suite runs in a prefix of its own";
}

void ProductRegistryTest::clean() {
    for (const auto& key : productKeys) key->remove();
    for (const auto& entry : uninstallEntries) deleteTree(entry.first, entry.second);
    uninstallEntries.clear();
}

}  // namespace products_test
