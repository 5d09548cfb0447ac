// Test scaffolding for installed-product tests: a clean product registry in both views and a private log.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/registry_key.h"
#include "test_support.h"

namespace products_test {

// Removes a key and everything below it in one view; a missing key is fine.
void deleteTree(REGSAM view, const std::string& path);

// Writes a value with exactly the bytes and type given.
void setRaw(const RegistryKey& key, const char* name, DWORD type, const std::string& bytes);

// Points the process log at a fresh file while it lives.
class LogFile {
public:
    LogFile();
    ~LogFile();
    std::string text() const;
    bool contains(const std::string& text) const { return this->text().find(text) != std::string::npos; }

private:
    std::string path;
    std::string previous;
};

// The product keys (kits, runtimes in both views, the auto-update key) that the suite's fresh prefix does not
// have: the tests create them, and they and the test's Uninstall entries are removed after each test.
class ProductRegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { clean(); }
    // Registers `code` below the Uninstall key of one view, removed again by the fixture.
    void registerUninstallEntry(const std::string& code, REGSAM view);

    LogFile log;

private:
    void clean();
    std::vector<std::pair<REGSAM, std::string>> uninstallEntries;
    std::vector<std::unique_ptr<testing_support::OwnedKey>> productKeys;
};

// The registry view the product code lives in on this machine (64 on a 64-bit Windows).
REGSAM installView();

}  // namespace products_test
