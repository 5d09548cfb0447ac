// One auto-update policy value: where it lives, how it is encoded, and its typed read and write.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/registry_key.h"

namespace au {

// The open keys of one policy sequence, cached per location and access, closed when the store goes.
class RegDataStore {
public:
    enum Mode { oldLayout = 0, currentLayout = 1 };

    explicit RegDataStore(int mode) : mode(mode) {}
    RegDataStore(const RegDataStore&) = delete;
    RegDataStore& operator=(const RegDataStore&) = delete;

    int mode;
    // For each location 0, 1, 2: the key opened for writing, then the one opened for reading.
    std::unique_ptr<RegistryKey> keys[6];
};

// The definition of one policy value.
struct RegData {
    enum Location { machinePolicy = 0, machineCheck = 1, userPolicy = 2 };
    enum EncryptionType { plain = 0, userProtected = 1, machineProtectedText = 2 };

    int location;
    const char* name;
    int encryptionType;

    static uint32_t getValue(RegDataStore& store, const RegData& definition);
    static void setValue(RegDataStore& store, const RegData& definition, uint32_t value);
};

// The key that holds a location's values, opened once per store and access; the old layout folds
// location 1 into location 0.
const RegistryKey& keyFor(RegDataStore& store, int location, bool forWrite);

// The policy values of the store; the launcher reads and writes only the schedule and notify type.
namespace values {
constexpr RegData EnableAutoUpdateCheck{RegData::userPolicy, "EnableAutoUpdateCheck", RegData::userProtected};
constexpr RegData ITCONFIG{RegData::machinePolicy, "ITCONFIG", RegData::plain};
constexpr RegData EnableZoltUpdate{RegData::machinePolicy, "EnableZoltUpdate", RegData::plain};
constexpr RegData Frequency{RegData::machineCheck, "Frequency", RegData::machineProtectedText};
constexpr RegData UpdateSchedule{RegData::machineCheck, "UpdateSchedule", RegData::machineProtectedText};
constexpr RegData UpdateMin{RegData::machineCheck, "UpdateMin", RegData::machineProtectedText};
constexpr RegData NotifyDownload{RegData::machineCheck, "NotifyDownload", RegData::plain};
constexpr RegData NotifyInstall{RegData::machineCheck, "NotifyInstall", RegData::plain};
constexpr RegData OEMDelay{RegData::machinePolicy, "OEMDelay", RegData::plain};
constexpr RegData OOBD{RegData::userPolicy, "OOBD", RegData::userProtected};
constexpr RegData StartupDelay{RegData::machinePolicy, "StartupDelay", RegData::plain};
constexpr RegData SDVC{RegData::userPolicy, "SDVC", RegData::userProtected};
}  // namespace values

// Registry keys of the policy store (32-bit view).
namespace policykeys {
constexpr const char* policy = "SOFTWARE\\Zoltsys\\Zolt Update\\Policy";
constexpr const char* check = "SOFTWARE\\Zoltsys\\Zolt Update\\Policy\\zucheck";
}  // namespace policykeys

}  // namespace au
