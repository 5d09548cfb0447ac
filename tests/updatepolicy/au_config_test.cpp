// The schedule and notify type of the policy, their fall-backs and their layouts, against the real registry.
#include "updatepolicy/au_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "policy_fixture.h"
#include "process/executor.h"
#include "test_support.h"

namespace {

using au::Config;
using au::RegDataStore;
using au::Schedule;
using policytest::PolicyStoreTest;

void checkShape(const Schedule& s) {
    const uint32_t day = s.frequency & 0xFF, second = (s.frequency >> 8) & 0xFF;
    EXPECT_EQ(1, __builtin_popcount(day));
    EXPECT_EQ(0u, day & 0x80);
    EXPECT_EQ(1, __builtin_popcount(second));
    EXPECT_EQ(0u, second & 0x80);
    EXPECT_EQ(0u, s.frequency >> 16);
    EXPECT_GE(s.hour, 0);
    EXPECT_LE(s.hour, 23);
    EXPECT_GE(s.minute, 0);
    EXPECT_LE(s.minute, 59);
}

TEST(ScheduleTest, DefaultsHaveOneDayInEachMaskAndTimesInRange) {
    std::set<uint32_t> frequencies;
    for (int i = 0; i < 200; ++i) {
        Schedule s = Schedule::randomDefault();
        checkShape(s);
        frequencies.insert(s.frequency);
    }
    EXPECT_GT(frequencies.size(), 20u);  // both masks vary
}

TEST(ScheduleTest, WeeklyDayOutsideOneToSevenIsRefused) {
    Schedule s;
    s.frequency = 0x01000000;
    s.setWeeklyDay(7);
    EXPECT_EQ(0x40u, s.frequency);
    for (int day : {0, 8, -1}) EXPECT_THROW(s.setWeeklyDay(day), std::out_of_range);
}

TEST_F(PolicyStoreTest, ScheduleAndNotifyTypeReadBackInEachLayout) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        removePolicyKeys();
        Schedule saved{0x0410, 21, 45};
        for (int type : {1, 0}) {
            {
                Config config(mode);
                config.setSchedule(saved);
                config.setNotifyType(type);
            }
            Config config(mode);
            bool ok = false;
            EXPECT_EQ(saved, config.getSchedule(&ok));
            EXPECT_TRUE(ok);
            EXPECT_EQ(type, config.getNotifyType());
        }
        // The old layout is plain and all in one key; the current one protects the schedule in zucheck.
        DWORD valueType = REG_NONE;
        raw(false, mode == 0 ? au::policykeys::policy : au::policykeys::check, "Frequency", valueType);
        EXPECT_EQ(mode == 0 ? static_cast<DWORD>(REG_DWORD) : static_cast<DWORD>(REG_SZ), valueType);
        raw(false, mode == 0 ? au::policykeys::policy : au::policykeys::check, "NotifyInstall", valueType);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), valueType);
    }
}

TEST_F(PolicyStoreTest, InconsistentNotifyValuesAreResetToNotifyBeforeDownload) {
    struct Case {
        const char* name;
        int download;  // -1: value missing
        int install;
        const char* reason;
    } cases[] = {
        {"both set", 1, 1, "inconsistent data"},
        {"both clear", 0, 0, "inconsistent data"},
        {"install missing", 1, -1, "NotifyInstall"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removePolicyKeys();
        RegistryKey check(RegistryKey::localMachine32, au::policykeys::check, RegistryKey::write);
        if (c.download >= 0) check.setDword("NotifyDownload", c.download);
        if (c.install >= 0) check.setDword("NotifyInstall", c.install);
        testing_support::LogCapture log;
        EXPECT_EQ(0, Config(1).getNotifyType());
        std::vector<std::string> messages = log.messages();
        ASSERT_FALSE(messages.empty());
        const std::string& last = messages.back();
        EXPECT_EQ(0u, last.find("ERROR: getNotifyType failed: ")) << last;
        EXPECT_NE(std::string::npos, last.find(c.reason)) << last;
        EXPECT_EQ(last.size() - 18, last.rfind(", reset to default"));
        EXPECT_NE(std::string::npos, log.raw().find("(au::Config::getNotifyType)"));
        EXPECT_EQ(1u, check.queryDword("NotifyDownload"));
        EXPECT_EQ(0u, check.queryDword("NotifyInstall"));
    }
}

TEST_F(PolicyStoreTest, BothNotifyValuesSetLogsTheExactRecord) {
    RegistryKey check(RegistryKey::localMachine32, au::policykeys::check, RegistryKey::write);
    check.setDword("NotifyDownload", 1);
    check.setDword("NotifyInstall", 1);
    testing_support::LogCapture log;
    EXPECT_EQ(0, Config(1).getNotifyType());
    EXPECT_EQ(std::vector<std::string>({"ERROR: getNotifyType failed: inconsistent data, reset to default"}),
              log.messages());
}

TEST_F(PolicyStoreTest, UnknownNotifyTypeWritesNothing) {
    testing_support::LogCapture log;
    Config config(1);
    try {
        config.setNotifyType(2);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("unknown notifyType", e.what());
    }
    EXPECT_EQ(std::vector<std::string>({"ERROR: setNotifyType: unknown value: 2"}), log.messages());
    EXPECT_FALSE(RegistryKey::exists(RegistryKey::localMachine32, au::policykeys::check));
}

Schedule parseToolOutput(const std::string& text, int& ok) {
    Schedule s;
    std::istringstream in(text);
    in >> s.frequency >> s.hour >> s.minute >> ok;
    return s;
}

// The whole schedule is replaced when one part is missing. Each fresh process draws its default from the
// system's generator, so two machines (here: two processes) do not share one update minute.
TEST_F(PolicyStoreTest, MissingUpdateMinReplacesTheScheduleByAStoredRandomDefault) {
    const Schedule stored{0x0201, 3, 4};
    testing_support::TempDir dir;
    Schedule defaults[2];
    for (Schedule& drawn : defaults) {
        {
            Config config(1);
            config.setSchedule(stored);
        }
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, au::policykeys::check, 0,
                                               KEY_SET_VALUE | KEY_WOW64_32KEY, &key));
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "UpdateMin"));
        RegCloseKey(key);

        const std::string out = dir.file("schedule.txt");
        const std::string tool = testing_support::toolPath("default_schedule_tool.exe");
        ASSERT_EQ(0u, Executor::ExecProcessWaitForFinish(tool, "\"" + tool + "\" \"" + out + "\"", 1));
        int ok = 0;
        drawn = parseToolOutput(testing_support::readFile(out), ok);
        EXPECT_EQ(1, ok);
        checkShape(drawn);
        bool readOk = false;
        EXPECT_EQ(drawn, Config(1).getSchedule(&readOk)) << "the default is stored";
        EXPECT_TRUE(readOk);
    }
    EXPECT_NE(defaults[0], defaults[1]);
}

TEST_F(PolicyStoreTest, UnreadableScheduleIsLoggedAndReplacedByAStoredDefault) {
    RegistryKey check(RegistryKey::localMachine32, au::policykeys::check, RegistryKey::write);
    check.setString("Frequency", "not protected data");
    testing_support::LogCapture log;
    bool ok = false;
    Schedule fallback = Config(1).getSchedule(&ok);
    EXPECT_TRUE(ok);
    checkShape(fallback);
    ASSERT_GE(log.messages().size(), 2u);
    const std::string last = log.messages().back();
    EXPECT_EQ(0u, last.find("ERROR: getSchedule failed: ")) << last;
    EXPECT_NE(std::string::npos, last.find(", rescheduling"));
    EXPECT_NE(std::string::npos, log.raw().find("(au::Config::getSchedule)"));
    EXPECT_EQ(fallback, Config(1).getSchedule());
}

}  // namespace
