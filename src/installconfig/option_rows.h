// The option table: one row per option, in descriptor-list order (argument lookup, CMDLINE assembly, checks and
// dumps follow this order). Included by option_table.h, which derives everything else from it.
#pragma once

// The indexes the installer's own code reads an option by; the name tables place each row at its index.
enum FlagOptionIndex {
    FLAG_INSTALL_SILENT = 0,
    FLAG_STATIC = 1,
    FLAG_AUTO_UPDATE = 2,
    FLAG_EULA = 6,
    FLAG_NOSTARTMENU = 16,
};
enum ValueOptionIndex {
    VALUE_INSTALLDIR = 0,
    VALUE_INSTALLCFG = 1,
    VALUE_INSTALLDIRPUBPLN = 2,
    VALUE_ADDLOCAL = 7,
    VALUE_REBOOT = 8,
    VALUE_MSI_CMDLINE = 11,
    VALUE_CMDLINE = 12,
};
enum NumberOptionIndex { NUMBER_WEB_ZOLT_SECURITY_LEVEL = 0, NUMBER_LANG = 1, NUMBER_INSTALLER_WAIT = 3 };
enum SwitchIndex {
    SWITCH_SILENT = 0,
    SWITCH_DOWNLOAD = 2,
    SWITCH_LOG = 5,
    SWITCH_CHECK = 6,
    SWITCH_CHECK_DASH = 7,
    SWITCH_LOG_FOLDER = 8,
    SWITCH_UNINSTALL = 9,
    SWITCH_UNINSTALL_DASH = 10,
    SWITCH_REMOVE_SETTINGS = 11,
};

// The Windows Installer's log modes: /l is the log switch only when nothing but these follows it, so /lang or /layout
// is never taken for it.
inline constexpr const char* kInstallerLogModes = "iwearucmopvx+!*";

// How long a run waits for another installation's hold on the Windows Installer: seconds, limit and default.
constexpr int32_t kInstallerWaitMaxSeconds = 86400;
constexpr int32_t kInstallerWaitDefaultSeconds = 600;

// clang-format off
inline constexpr OptionRow kOptionRows[] = {
    flagOption("INSTALL_SILENT", FLAG_INSTALL_SILENT).withExport().forwarded().defaultsTo("Disable", 0)
        .usage(nullptr, "silent, as /s; kept in the runtime settings file"),
    flagOption("STATIC", FLAG_STATIC).forwarded().defaultsTo("Disable", 1),
    flagOption("AUTO_UPDATE", FLAG_AUTO_UPDATE).withExport().forwarded().defaultsTo("Enable", 2)
        .usage(nullptr, "the auto-update component's automatic updates; kept in the runtime settings file"),
    flagOption("SPONSORS", 3).withExport().forwarded().defaultsTo("Enable", 5)
        .usage(nullptr, "kept in the runtime settings file for the kit"),
    flagOption("WEB_ZOLT", 4).forwarded(),
    flagOption("WEB_ANALYTICS", 5).withExport().forwarded().defaultsTo("Enable", 3)
        .usage(nullptr, "kept in the runtime settings file for the kit"),
    flagOption("EULA", FLAG_EULA).withExport().forwarded().defaultsTo("Disable", 4)
        .usage(nullptr, "kept in the runtime settings file for the kit"),
    flagOption("OEMUPDATE", 7).forwarded().defaultsTo("Disable", 6),
    flagOption("DYNAMICBASELINEOFF", 8),
    flagOption("NO_VERIFY", 9),
    flagOption("REPAIRMODE", 10).forwarded(),
    flagOption("LAUNCHEDFROMTBX", 11),
    flagOption("FAMILYUPGRADE", 12),
    flagOption("RUNONCE", 13),
    flagOption("PIP", 14).forwarded(),
    flagOption("REINSTALL_NO_PROMPT", 15).forwarded(),
    flagOption("TEST_FINAL_DIALOG", 17),
    flagOption("TEST_PROGRESS_DIALOG", 18),
    flagOption("TEST_WELCOME_DIALOG", 19),
    flagOption("TEST_CHANGE_DIALOG", 20),
    flagOption("TEST_SETUPERROR_DIALOG", 21),
    flagOption("TEST_ERRORHELP_DIALOG", 22),
    flagOption("TEST_RETRYSPLASH_DIALOG", 23),
    flagOption("NOSTARTMENU", FLAG_NOSTARTMENU).forwarded()
        .usage(nullptr, "no Start menu entries"),
    valueOption("INSTALLDIR", VALUE_INSTALLDIR).forwarded().ruled(ValueRule::AbsolutePath)
        .usage("=<absolute path>", "the kit's install folder"),
    valueOption("/INSTALLDIRPUBPLN", VALUE_INSTALLDIRPUBPLN).forwarded().ruled(ValueRule::AbsolutePath)
        .usage("=<absolute path>", "the public runtime's install folder"),
    valueOption("INSTALLCFG", VALUE_INSTALLCFG).forwarded().ruled(ValueRule::AbsolutePath)
        .usage("=<absolute path>", "an install configuration file, one KEY=value a line, with any option here;"
                                   " the command line wins over it"),
    valueOption("COUNTRYOVERRIDE", 3),
    valueOption("/installurl", 4)
        .usage("=<text>", "accepted and logged; the launcher does not use it"),
    valueOption("/installmethod", 5).forwarded()
        .usage("=<text>", "accepted and logged; the launcher does not use it"),
    valueOption("SPONSORPREF", 6),
    valueOption("ADDLOCAL", VALUE_ADDLOCAL).passedThrough()
        .passedOnOnlyFromCommandLine("it only drops the default feature list")
        .usage("=<features>", "replaces ADDLOCAL=PublicplnFeature,ToolsFeature"),
    valueOption("REBOOT", VALUE_REBOOT).passedThrough()
        .passedOnOnlyFromCommandLine("only ReallySuppress is applied, and only to pln.exe")
        .usage("=ReallySuppress", "the installer does not restart Windows"),
    valueOption("USAGETRACKER_CFG", 9).forwarded().readable().plainTextNoted().enterprise()
        .ruled(ValueRule::AbsolutePath),
    valueOption("DEPLOYMENT_RULE_SET", 10).forwarded().readable().enterprise().ruled(ValueRule::AbsolutePath),
    valueOption("MSI_CMDLINE", VALUE_MSI_CMDLINE)
        .usage("=<text>", "more installer arguments"),
    valueOption("CMDLINE", VALUE_CMDLINE),
    numberOption("WEB_ZOLT_SECURITY_LEVEL", NUMBER_WEB_ZOLT_SECURITY_LEVEL).forwarded()
        .ruled(ValueRule::SecurityLevel),
    numberOption("/lang", NUMBER_LANG)
        .usage("=<id>", "the installer's language: 1033, 1041 or 2052"),
    numberOption("TEST_CONFIG_FILE_ERRORS", 2),
    numberOption("INSTALLER_WAIT", NUMBER_INSTALLER_WAIT)
        .secondsWithin(0, kInstallerWaitMaxSeconds, kInstallerWaitDefaultSeconds)
        .usage(nullptr, "seconds to wait while another installation holds the Windows Installer"),
    switchOption("/s", SWITCH_SILENT)
        .usage("", "silent: no message boxes; the installer runs with /qn"),
    switchOption("/h", 1)
        .usage("", "accepted for older scripts; does nothing (it is not help)"),
    switchOption("-download", SWITCH_DOWNLOAD)
        .usage("", "silent, as /s"),
    switchOption("-no_override", 3),
    switchOption("/q", 4).passedThrough().byPrefix()
        .usage("...", "the installer's UI level, passed on (/qn, /qb)"),
    switchOption("/l", SWITCH_LOG).passedThrough().byPrefixThen(kInstallerLogModes).followedByValue()
        .usage("[*v] <path>", "the installer's own log, with the modes given (iwearucmopvx+!*)"),
    switchOption("/check", SWITCH_CHECK)
        .usage("", "prints what the run would do and the exit code it expects; changes nothing"),
    switchOption("-check", SWITCH_CHECK_DASH)
        .usage("", "as /check"),
    switchOption("/log", SWITCH_LOG_FOLDER).followedByValue()
        .usage(" <folder>", "the folder for all of this run's logs: the launcher's and the installer's"),
    switchOption("/uninstall", SWITCH_UNINSTALL)
        .usage("", "removes the kit of this version, its public runtime, the auto-update component when no other"
                   " kit version is left, and the launcher's payload folders"),
    switchOption("-uninstall", SWITCH_UNINSTALL_DASH)
        .usage("", "as /uninstall"),
    switchOption("/removesettings", SWITCH_REMOVE_SETTINGS)
        .usage("", "with /uninstall: removes the runtime settings file and the update policy too"),
};
// clang-format on
