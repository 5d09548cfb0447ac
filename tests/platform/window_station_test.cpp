// The one box decision: a silent run never shows one, and a window station no one can see counts as silent.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/window_station.h"

namespace {

TEST(WindowStation, AStationMadeByAProgramIsNotVisible) {
    HWINSTA made = CreateWindowStationW(L"tbx-window-station-test", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_NE(nullptr, made);
    EXPECT_FALSE(isWindowStationVisible(made));
    CloseWindowStation(made);
    EXPECT_FALSE(isWindowStationVisible(nullptr)) << "flags that cannot be read count as invisible";
}

TEST(WindowStation, ASilentRunNeverShowsABox) {
    EXPECT_FALSE(mayShowBox(true));
    EXPECT_EQ(processWindowStationVisible(), mayShowBox(false));
}

}  // namespace
