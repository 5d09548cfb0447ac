// The option table against the vocabulary the installer's callers and stored files rely on: the indexes of the
// name tables, the descriptor list's order and properties, the default text, and the usage lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installconfig/option_table.h"

namespace {

template <size_t N>
std::vector<std::string> asStrings(const std::array<const char*, N>& table) {
    return std::vector<std::string>(table.begin(), table.end());
}

TEST(OptionTable, NameTablesKeepTheirIndexes) {
    const std::vector<std::string> flags = {
        "INSTALL_SILENT",      "STATIC",          "AUTO_UPDATE",       "SPONSORS",          "WEB_ZOLT",
        "WEB_ANALYTICS",       "EULA",            "OEMUPDATE",         "DYNAMICBASELINEOFF", "NO_VERIFY",
        "REPAIRMODE",          "LAUNCHEDFROMTBX", "FAMILYUPGRADE",     "RUNONCE",           "PIP",
        "REINSTALL_NO_PROMPT", "NOSTARTMENU",     "TEST_FINAL_DIALOG", "TEST_PROGRESS_DIALOG",
        "TEST_WELCOME_DIALOG", "TEST_CHANGE_DIALOG", "TEST_SETUPERROR_DIALOG", "TEST_ERRORHELP_DIALOG",
        "TEST_RETRYSPLASH_DIALOG"};
    const std::vector<std::string> values = {"INSTALLDIR",  "INSTALLCFG", "/INSTALLDIRPUBPLN", "COUNTRYOVERRIDE",
                                             "/installurl", "/installmethod", "SPONSORPREF", "ADDLOCAL", "REBOOT",
                                             "USAGETRACKER_CFG", "DEPLOYMENT_RULE_SET", "MSI_CMDLINE", "CMDLINE"};
    const std::vector<std::string> numbers = {"WEB_ZOLT_SECURITY_LEVEL", "/lang", "TEST_CONFIG_FILE_ERRORS",
                                              "INSTALLER_WAIT"};
    const std::vector<std::string> switches = {"/s", "/h", "-download", "-no_override", "/q", "/l", "/check",
                                               "-check", "/log", "/uninstall", "-uninstall",
                                               "/removesettings"};
    EXPECT_EQ(asStrings(FlagOptions), flags);
    EXPECT_EQ(asStrings(ValueOptions), values);
    EXPECT_EQ(asStrings(NumberOptions), numbers);
    EXPECT_EQ(asStrings(Switches), switches);
    EXPECT_STREQ(FlagOptions[FLAG_NOSTARTMENU], "NOSTARTMENU");
    EXPECT_STREQ(ValueOptions[VALUE_MSI_CMDLINE], "MSI_CMDLINE");
    EXPECT_STREQ(NumberOptions[NUMBER_INSTALLER_WAIT], "INSTALLER_WAIT");
}

// The descriptor list in order, with its seven properties as letters: exported, forwarded, pass-through,
// prefix, readable, plain-text note, enterprise only ('-' for false).
TEST(OptionTable, DescriptorListKeepsItsOrderAndProperties) {
    struct Row {
        const char* name;
        const char* properties;
    };
    const Row expected[] = {
        {"INSTALL_SILENT", "EF-----"}, {"STATIC", "-F-----"}, {"AUTO_UPDATE", "EF-----"},
        {"SPONSORS", "EF-----"}, {"WEB_ZOLT", "-F-----"}, {"WEB_ANALYTICS", "EF-----"}, {"EULA", "EF-----"},
        {"OEMUPDATE", "-F-----"}, {"DYNAMICBASELINEOFF", "-------"}, {"NO_VERIFY", "-------"},
        {"REPAIRMODE", "-F-----"}, {"LAUNCHEDFROMTBX", "-------"}, {"FAMILYUPGRADE", "-------"},
        {"RUNONCE", "-------"}, {"PIP", "-F-----"}, {"REINSTALL_NO_PROMPT", "-F-----"},
        {"TEST_FINAL_DIALOG", "-------"}, {"TEST_PROGRESS_DIALOG", "-------"}, {"TEST_WELCOME_DIALOG", "-------"},
        {"TEST_CHANGE_DIALOG", "-------"}, {"TEST_SETUPERROR_DIALOG", "-------"},
        {"TEST_ERRORHELP_DIALOG", "-------"}, {"TEST_RETRYSPLASH_DIALOG", "-------"}, {"NOSTARTMENU", "-F-----"},
        {"INSTALLDIR", "-F-----"}, {"/INSTALLDIRPUBPLN", "-F-----"}, {"INSTALLCFG", "-F-----"},
        {"COUNTRYOVERRIDE", "-------"}, {"/installurl", "-------"}, {"/installmethod", "-F-----"},
        {"SPONSORPREF", "-------"}, {"ADDLOCAL", "--P----"}, {"REBOOT", "--P----"},
        {"USAGETRACKER_CFG", "-F--RTX"}, {"DEPLOYMENT_RULE_SET", "-F--R-X"}, {"MSI_CMDLINE", "-------"},
        {"CMDLINE", "-------"}, {"WEB_ZOLT_SECURITY_LEVEL", "-F-----"}, {"/lang", "-------"},
        {"TEST_CONFIG_FILE_ERRORS", "-------"}, {"INSTALLER_WAIT", "-------"}, {"/s", "-------"},
        {"/h", "-------"}, {"-download", "-------"}, {"-no_override", "-------"}, {"/q", "--PB---"},
        {"/l", "--PB---"}, {"/check", "-------"}, {"-check", "-------"}, {"/log", "-------"},
        {"/uninstall", "-------"}, {"-uninstall", "-------"}, {"/removesettings", "-------"},
    };
    ASSERT_EQ(kOptionDescriptorCount, std::size(expected));
    for (size_t i = 0; i < kOptionDescriptorCount; ++i) {
        const OptionRow& row = OptionDescriptors[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(row.name, expected[i].name) << "at row " << i;
        const std::string properties = {row.exported ? 'E' : '-',      row.forwardedToMsi ? 'F' : '-',
                                        row.msiPassThrough ? 'P' : '-', row.prefixMatch ? 'B' : '-',
                                        row.checkReadable ? 'R' : '-',  row.plainTextNote ? 'T' : '-',
                                        row.enterpriseOnly ? 'X' : '-'};
        EXPECT_EQ(properties, expected[i].properties);
    }
}

TEST(OptionTable, DefaultsAndRulesComeFromTheRows) {
    EXPECT_EQ(defaultSettingsText(),
              "INSTALL_SILENT=Disable\nSTATIC=Disable\nAUTO_UPDATE=Enable\nWEB_ANALYTICS=Enable\nEULA=Disable\n"
              "SPONSORS=Enable\nOEMUPDATE=Disable\n");
    struct Case {
        const char* name;
        ValueRule rule;
    } cases[] = {
        {"INSTALLDIR", ValueRule::AbsolutePath},       {"INSTALLCFG", ValueRule::AbsolutePath},
        {"/INSTALLDIRPUBPLN", ValueRule::AbsolutePath}, {"USAGETRACKER_CFG", ValueRule::AbsolutePath},
        {"DEPLOYMENT_RULE_SET", ValueRule::AbsolutePath}, {"MSI_CMDLINE", ValueRule::Text},
        {"WEB_ZOLT_SECURITY_LEVEL", ValueRule::SecurityLevel}, {"/lang", ValueRule::Integer},
        {"INSTALLER_WAIT", ValueRule::Seconds},         {"EULA", ValueRule::FlagWord},
        {"/s", ValueRule::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(findOptionRow(c.name), nullptr);
        EXPECT_EQ(findOptionRow(c.name)->rule, c.rule);
    }
}

TEST(OptionTable, RangeRuleTakesPlainDecimalWithinTheRowsRange) {
    const OptionRow& wait = *findOptionRow("INSTALLER_WAIT");
    struct Case {
        const char* value;
        bool accepted;
    } cases[] = {{"0", true},     {"600", true},  {"86400", true}, {"86401", false}, {"010", false},
                 {"10s", false},  {"", false},    {"-1", false},   {"9999999999", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(checkOptionRange(wait, c.value) == 0, c.accepted);
    }
    // A row without a range rule accepts anything here; its own value rule decides.
    EXPECT_EQ(checkOptionRange(*findOptionRow("/lang"), "10s"), 0);
}

TEST(OptionTable, UsageLinesComeFromTheRows) {
    const std::string usage = optionUsageLines();
    for (const char* line : {"INSTALLER_WAIT=<0-86400>", "(default 600)", "INSTALLDIR=<absolute path>",
                             "EULA=Enable|Disable|1|0", "(default Disable)", "/check", "/l[*v] <path>"})
        EXPECT_NE(usage.find(line), std::string::npos) << line;
    // Options no one sets by hand stay out of the usage.
    EXPECT_EQ(usage.find("TEST_FINAL_DIALOG"), std::string::npos);
}

}  // namespace
