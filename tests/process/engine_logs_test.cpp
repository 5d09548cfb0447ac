// The engine logs' names, the switch each engine run gets, and the pruning of older runs' logs.
#include "process/engine_logs.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::LogCapture;
using testing_support::TempDir;

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(EngineLogs, NamesSortByRunThenByEngineRun) {
    SYSTEMTIME earlier{};
    earlier.wYear = 2026, earlier.wMonth = 3, earlier.wDay = 2, earlier.wHour = 9, earlier.wMinute = 5,
    earlier.wSecond = 3;
    SYSTEMTIME later = earlier;
    later.wHour = 10;
    EXPECT_EQ("20260302-090503-00004242", engineLogRunStamp(earlier, 4242));
    EXPECT_EQ("tbx-msi-20260302-090503-00004242-03-kit.log",
              engineLogName(engineLogRunStamp(earlier, 4242), 3, "kit"));
    // Same second, other process; a later run; the tenth engine run of one launcher run.
    const std::vector<std::string> inOrder = {
        engineLogName(engineLogRunStamp(earlier, 7), 2, "kit"),
        engineLogName(engineLogRunStamp(earlier, 4242), 1, "kit-removal"),
        engineLogName(engineLogRunStamp(earlier, 4242), 2, "kit"),
        engineLogName(engineLogRunStamp(earlier, 4242), 10, "auto-update"),
        engineLogName(engineLogRunStamp(later, 1), 1, "kit"),
    };
    EXPECT_TRUE(std::is_sorted(inOrder.begin(), inOrder.end()));
}

// Each engine run gets a file of its own, and the launcher's log names it.
TEST(EngineLogs, EachRunGetsItsOwnFileNamedInTheLog) {
    LogCapture log;
    EngineLogs logs("C:\\logs", "20260302-090503-00004242");
    EXPECT_EQ(" /l*v \"C:\\logs\\tbx-msi-20260302-090503-00004242-01-kit.log\"", logs.switchFor("kit"));
    EXPECT_EQ(" /l*v \"C:\\logs\\tbx-msi-20260302-090503-00004242-02-kit-reinstall.log\"",
              logs.switchFor("kit-reinstall"));
    EXPECT_EQ(1, log.count("The Windows Installer logs this run of kit-reinstall to "
                           "C:\\logs\\tbx-msi-20260302-090503-00004242-02-kit-reinstall.log"));
    EngineLogs off;
    EXPECT_EQ("", off.switchFor("kit"));
}

// Only the engine logs of the newest runs stay; nothing else in the folder is touched.
TEST(EngineLogs, PruningKeepsTheNewestRunsAndNothingElse) {
    TempDir dir;
    const std::vector<std::string> runs = {"20260101-080000-00000001", "20260101-080000-00000002",
                                           "20260102-080000-00000001", "20260103-080000-00000009"};
    for (const std::string& run : runs)
        for (int n = 1; n <= 2; ++n) testing_support::writeFile(dir.file(engineLogName(run, n, "kit")), "log");
    const std::vector<std::string> others = {"tbx-msi-notes.log", "tbx-msi-20250101-080000-00000001.txt",
                                             "zusched.log", "MSI1234.LOG"};
    for (const std::string& other : others) testing_support::writeFile(dir.file(other), "keep");
    // A folder named like an old run's log is no log.
    const std::string folderLikeALog = engineLogName("20250101-080000-00000001", 1, "kit");
    ASSERT_TRUE(CreateDirectoryA(dir.file(folderLikeALog).c_str(), nullptr));

    struct Case {
        size_t runsKept;
        int removed;
        size_t firstKept;  // index into runs
    } cases[] = {{5, 0, 0}, {4, 0, 0}, {2, 4, 2}, {0, 4, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runsKept);
        EXPECT_EQ(c.removed, pruneEngineLogs(dir.path(), c.runsKept));
        std::vector<std::string> expected = others;
        expected.push_back(folderLikeALog);
        for (size_t i = c.firstKept; i < runs.size(); ++i)
            for (int n = 1; n <= 2; ++n) expected.push_back(engineLogName(runs[i], n, "kit"));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, namesIn(dir.path()));
    }
}

}  // namespace
