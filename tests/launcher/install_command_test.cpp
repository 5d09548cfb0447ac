// The engine command line composed in the flow's fixed buffers: exact texts and refusals instead of cuts.
#include "launcher/install_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* kMsiexec = "C:\\windows\\system32\\msiexec.exe";
constexpr const char* kMsi = "C:\\users\\u\\AppData\\LocalLow\\Lumo\\Zolt\\tbx1.9.3_17_x64\\tbx1.9.3_17.msi";

std::string base(const std::string& tail) {
    return std::string("\"") + kMsiexec + "\" /i \"" + kMsi + "\"" + tail;
}

TEST(SilentArguments, AddsQuietSwitchAndDefaultFeaturesOnlyWhereMissing) {
    struct Case {
        const char* name;
        const char* msiCmdline;  // as stored: the value followed by one space, or empty
        bool addLocalSet;
        const char* expected;
    } cases[] = {
        {"nothing given", "", false, " /qn ADDLOCAL=PublicplnFeature,ToolsFeature"},
        {"/qn already there", "/qn REBOOT=ReallySuppress ", false,
         "/qn REBOOT=ReallySuppress  ADDLOCAL=PublicplnFeature,ToolsFeature"},
        {"/qn inside another switch still counts", "/qn+ ", true, "/qn+ "},
        {"/QN in capitals is the same switch", "/QN ", true, "/QN "},
        {"ADDLOCAL option given", "", true, " /qn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char args[kCommandBufferSize];
        std::strcpy(args, c.msiCmdline);
        ASSERT_TRUE(AppendSilentArguments(args, c.addLocalSet));
        EXPECT_STREQ(c.expected, args);
    }
}

TEST(SilentArguments, RefusesArgumentsThatWouldOverflowAndLeavesThemWhole) {
    char args[kCommandBufferSize];
    std::string full(kCommandBufferSize - 4, 'x');
    std::strcpy(args, full.c_str());
    EXPECT_FALSE(AppendSilentArguments(args, true));
    EXPECT_EQ(full, args);
}

TEST(InstallerCommand, ComposesTheEngineCommandLineCharacterForCharacter) {
    struct Case {
        const char* name;
        const char* args;
        unsigned langId;
        const char* logFile;
        const char* installDir;
        bool noStartMenu;
        std::string expected;
        const char* logModes;
    } cases[] = {
        {"silent default: two spaces before /qn", " /qn ADDLOCAL=PublicplnFeature,ToolsFeature", 1033, "", "", false,
         base("  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1"), ""},
        {"interactive with nothing", "", 1033, "", "", false, base("  WRAPPER=1"), ""},
        {"Japanese transform after the database", "/qb ", 1041, "", "", false,
         base(" TRANSFORMS=:1041 /qb  WRAPPER=1"), ""},
        {"Chinese transform", "", 2052, "", "", false, base(" TRANSFORMS=:2052  WRAPPER=1"), ""},
        {"log switch", "", 1033, "C:\\logs\\kit.log", "", false, base("  WRAPPER=1 /l \"C:\\logs\\kit.log\""), ""},
        {"log modes kept as typed", "", 1033, "C:\\logs\\kit.log", "", false,
         base("  WRAPPER=1 /l*V \"C:\\logs\\kit.log\""), "*V"},
        {"plain INSTALLDIR is quoted", "", 1033, "", "C:\\Program Files\\Zolt", false,
         base("  WRAPPER=1 INSTALLDIR=\"C:\\Program Files\\Zolt\" "), ""},
        {"quoted INSTALLDIR is passed unchanged", "", 1033, "", "\"D:\\Kit\"", false,
         base("  WRAPPER=1 INSTALLDIR=\"D:\\Kit\" "), ""},
        {"a lone quote is not a quoted value", "", 1033, "", "\"", false, base("  WRAPPER=1 INSTALLDIR=\"\"\" "), ""},
        {"no start menu after everything", "", 1041, "C:\\l.txt", "D:\\K", true,
         base(" TRANSFORMS=:1041  WRAPPER=1 /l \"C:\\l.txt\" INSTALLDIR=\"D:\\K\"  NOSTARTMENU=1"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char command[kCommandBufferSize];
        InstallerCommandParts parts{kMsiexec,   kMsi,          c.args,       c.langId,
                                    c.logFile,  c.installDir,  c.noStartMenu, c.logModes};
        ASSERT_TRUE(ComposeInstallerCommand(command, parts));
        EXPECT_EQ(c.expected, command);
    }
}

TEST(InstallerCommand, RefusesPiecesThatDoNotFitWithoutOverrunningTheBuffer) {
    const std::string baseLimitArgs(kBaseCommandLimit - base("  WRAPPER=1").size(), 'a');
    const std::string longDir(kCommandBufferSize - 100, 'd');
    const std::string longLog(kCommandBufferSize - 100, 'l');
    struct Case {
        const char* name;
        std::string args;
        std::string logFile;
        std::string installDir;
        bool noStartMenu;
        bool fits;
    } cases[] = {
        {"base command one under its 1024 limit", baseLimitArgs.substr(1), "", "", false, true},
        {"base command at its 1024 limit", baseLimitArgs, "", "", false, false},
        {"install directory too long", "", "", longDir, false, false},
        {"log path too long", "", longLog, "", false, false},
        {"log path and install directory together too long", "", longLog.substr(1000), longDir.substr(800), false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct {
            char command[kCommandBufferSize];
            char guard[16];
        } buffer;
        std::memset(buffer.guard, 'G', sizeof buffer.guard);
        InstallerCommandParts parts{kMsiexec,  kMsi, c.args.c_str(), 1033, c.logFile, c.installDir.c_str(),
                                    c.noStartMenu, ""};
        EXPECT_EQ(c.fits, ComposeInstallerCommand(buffer.command, parts));
        EXPECT_EQ(std::string(16, 'G'), std::string(buffer.guard, 16));
        if (c.fits) {
            EXPECT_LT(std::strlen(buffer.command), kBaseCommandLimit);
        }
    }
}

}  // namespace
