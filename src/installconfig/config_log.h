// Log records of the installer configuration: they carry the configuration's own source name.
#pragma once

#include <string>

#include "platform/logger.h"

constexpr const char* kConfigRecordSource = "windows/common/InstallConfigData";

// Writes `message` at `level` under the function name `name` when the threshold admits it.
#define CONFIG_LOG(name, level, message)                                                                   \
    do {                                                                                                   \
        ::Logger& configLogger_ = ::Logger::instance();                                                    \
        if (configLogger_.threshold <= (level))                                                            \
            ::writeLogRecord(configLogger_, (level), kConfigRecordSource, __LINE__, std::string(name),     \
                             std::string(message));                                                        \
    } while (0)
