// Reading and writing policy values in their location and encoding, in the current or the old layout.
#include "updatepolicy/reg_data.h"

#include <stdexcept>
#include <string>

#include "platform/logger.h"
#include "updatepolicy/protection.h"

namespace au {
namespace {

int effectiveLocation(const RegDataStore& store, int location) {
    return store.mode < RegDataStore::currentLayout && location == RegData::machineCheck ? RegData::machinePolicy
                                                                                          : location;
}

// Older components keep every value plain; user-protected values were already binary then.
int effectiveEncryption(const RegDataStore& store, int encryptionType) {
    return store.mode < RegDataStore::currentLayout && encryptionType == RegData::machineProtectedText
               ? RegData::plain
               : encryptionType;
}

}  // namespace

const RegistryKey& keyFor(RegDataStore& store, int location, bool forWrite) {
    location = effectiveLocation(store, location);
    const RegistryKey* root = nullptr;
    const char* path = nullptr;
    switch (location) {
        // clang-format off
        case RegData::machinePolicy: root = &RegistryKey::localMachine32; path = policykeys::policy; break;
        case RegData::machineCheck: root = &RegistryKey::localMachine32; path = policykeys::check; break;
        case RegData::userPolicy: root = &RegistryKey::currentUser32; path = policykeys::policy; break;
        default: throw std::logic_error("unknown reg location");
        // clang-format on
    }
    std::unique_ptr<RegistryKey>& slot = store.keys[location * 2 + (forWrite ? 0 : 1)];
    if (!slot)
        slot = std::make_unique<RegistryKey>(*root, path, forWrite ? RegistryKey::write : RegistryKey::read);
    return *slot;
}

uint32_t RegData::getValue(RegDataStore& store, const RegData& definition) {
    try {
        const RegistryKey& key = keyFor(store, definition.location, false);
        switch (effectiveEncryption(store, definition.encryptionType)) {
            case plain: return key.queryDword(definition.name);
            case userProtected: return unprotectValue(key.queryBinary(definition.name));
            case machineProtectedText: return unprotectValue(string2binary(key.queryString(definition.name)));
            default: throw std::logic_error("unknown encryptionType");
        }
    } catch (const std::exception& e) {
        TBX_LOG(LOG_ERROR, std::string("getValue(DWORD) failed: ") + e.what());
        throw;
    }
}

void RegData::setValue(RegDataStore& store, const RegData& definition, uint32_t value) {
    try {
        const RegistryKey& key = keyFor(store, definition.location, true);
        switch (effectiveEncryption(store, definition.encryptionType)) {
            case plain: key.setDword(definition.name, value); break;
            case userProtected: key.setBinary(definition.name, protectValue(value, false)); break;
            case machineProtectedText:
                key.setString(definition.name, binary2string(protectValue(value, true)));
                break;
            default: throw std::logic_error("unknown encryptionType");
        }
    } catch (const std::exception& e) {
        TBX_LOG(LOG_ERROR, std::string("setValue(DWORD) failed: ") + e.what());
        throw;
    }
}

}  // namespace au
