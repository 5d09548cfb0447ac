// The schedule and notify type of the auto-update policy, read with fall-backs and written throwing.
#include "updatepolicy/au_config.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/logger.h"
#include "platform/system_random.h"

namespace au {

void Schedule::setWeeklyDay(int day) {
    if (day < 1 || day > 7) throw std::out_of_range("(weekly) day value is out of range");
    frequency = (frequency & ~0xFFu) | (1u << (day - 1));
    frequency &= ~(1u << 24);
}

namespace {

// Drawn from the system generator so that machines installed together do not all check for updates at the
// same minute. Should the generator fail, a per-process seed still spreads them.
uint32_t drawBelow(uint32_t bound) {
    try {
        return systemRandomBelow(bound);
    } catch (const std::exception& e) {
        TBX_LOG(LOG_WARNING, std::string("system random source failed: ") + e.what());
    }
    static const bool seeded = (std::srand(GetTickCount() ^ (GetCurrentProcessId() << 16)), true);
    (void)seeded;
    return static_cast<uint32_t>(std::rand()) % bound;
}

}  // namespace

Schedule Schedule::randomDefault() {
    Schedule schedule;
    schedule.setWeeklyDay(static_cast<int>(drawBelow(7)) + 1);
    schedule.frequency &= ~0x00FF0000u;
    schedule.frequency = (schedule.frequency & ~0x0000FF00u) | (1u << drawBelow(7)) << 8;
    schedule.hour = static_cast<int32_t>(drawBelow(24));
    schedule.minute = static_cast<int32_t>(drawBelow(60));
    return schedule;
}

Schedule Config::getSchedule(bool* ok) {
    if (ok) *ok = true;
    Schedule schedule;
    try {
        schedule.frequency = RegData::getValue(store, values::Frequency);
        schedule.hour = static_cast<int32_t>(RegData::getValue(store, values::UpdateSchedule));
        schedule.minute = static_cast<int32_t>(RegData::getValue(store, values::UpdateMin));
        return schedule;
    } catch (const std::exception& e) {
        TBX_LOG(LOG_ERROR, std::string("getSchedule failed: ") + e.what() + ", rescheduling");
    }
    schedule = Schedule::randomDefault();
    try {
        setSchedule(schedule);
    } catch (const std::exception&) {
        if (ok) *ok = false;
    }
    return schedule;
}

void Config::setSchedule(const Schedule& schedule) {
    RegData::setValue(store, values::Frequency, schedule.frequency);
    RegData::setValue(store, values::UpdateSchedule, static_cast<uint32_t>(schedule.hour));
    RegData::setValue(store, values::UpdateMin, static_cast<uint32_t>(schedule.minute));
}

int Config::getNotifyType() {
    try {
        const uint32_t download = RegData::getValue(store, values::NotifyDownload);
        const uint32_t install = RegData::getValue(store, values::NotifyInstall);
        if ((download == 0) == (install == 0)) throw std::runtime_error("inconsistent data");
        return install != 0 ? notifyBeforeInstall : notifyBeforeDownload;
    } catch (const std::exception& e) {
        TBX_LOG(LOG_ERROR, std::string("getNotifyType failed: ") + e.what() + ", reset to default");
    }
    try {
        setNotifyType(notifyBeforeDownload);
    } catch (...) {
        // The default is returned whether or not it could be stored.
    }
    return notifyBeforeDownload;
}

void Config::setNotifyType(int type) {
    if (type != notifyBeforeDownload && type != notifyBeforeInstall) {
        TBX_LOG(LOG_ERROR, "setNotifyType: unknown value: " + std::to_string(type));
        throw std::runtime_error("unknown notifyType");
    }
    RegData::setValue(store, values::NotifyDownload, type == notifyBeforeDownload ? 1 : 0);
    RegData::setValue(store, values::NotifyInstall, type == notifyBeforeInstall ? 1 : 0);
}

}  // namespace au
