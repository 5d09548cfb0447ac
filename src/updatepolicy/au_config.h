// The typed auto-update policy: the update schedule and the notify type, with defaults that never fail.
#pragma once

#include <cstdint>

#include "updatepolicy/reg_data.h"

namespace au {

struct Schedule {
    // Byte 0: one-of-seven weekly day mask (bit d for day d + 1); byte 1: a second one-of-seven mask.
    uint32_t frequency = 0;
    int32_t hour = 0;    // 0 to 23
    int32_t minute = 0;  // 0 to 59

    // A random schedule from the operating system's generator, so each machine gets its own.
    static Schedule randomDefault();
    // Sets the weekly day (1 to 7) in byte 0 and clears bit 0 of byte 3; other days throw std::out_of_range.
    void setWeeklyDay(int day);

    bool operator==(const Schedule& other) const {
        return frequency == other.frequency && hour == other.hour && minute == other.minute;
    }
    bool operator!=(const Schedule& other) const { return !(*this == other); }
};

class Config {
public:
    enum NotifyType { notifyBeforeDownload = 0, notifyBeforeInstall = 1 };

    // Mode 0 reads and writes the old layout, mode 1 the current one; nothing is opened yet.
    explicit Config(int mode) : store(mode), mode(mode) {}
    virtual ~Config() = default;
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    // Never throws: an unreadable schedule is replaced by a stored default. `ok` tells whether the result
    // is the stored schedule or a default that could be stored.
    Schedule getSchedule(bool* ok = nullptr);
    void setSchedule(const Schedule& schedule);
    // Never throws: unreadable or inconsistent values give 0, which is written back where possible.
    int getNotifyType();
    // 0 or 1; anything else throws without writing.
    void setNotifyType(int type);

private:
    RegDataStore store;
    int mode;
};

}  // namespace au
