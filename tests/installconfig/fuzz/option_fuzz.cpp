// libFuzzer target: argument vectors, an install configuration file text and a runtime settings text through
// the installer's real option rules and argument import, in the order the loading pipeline applies them.
// Input: one byte with the number of arguments (low four bits), that many NUL-terminated arguments, the install
// configuration text up to the next NUL, and the runtime settings text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installconfig/argument_import.h"
#include "installconfig/option_table.h"
#include "installer_rules.h"
#include "settings/settings_api.h"

namespace {

const settings::settings_api api = settings::getSettingsApi();

// On the standard output: scripts/fuzz closes the standard error stream, where the engine reports bad lines.
void fail(const char* what) {
    std::fprintf(stdout, "option_fuzz: %s\n", what);
    std::fflush(stdout);
    std::abort();
}

struct Input {
    std::vector<std::string> args{"tbx-setup.exe"};
    std::string installText;
    std::string runtimeText;
};

Input split(const uint8_t* data, size_t size) {
    Input in;
    const char* p = reinterpret_cast<const char*>(data + 1);
    const char* end = reinterpret_cast<const char*>(data + size);
    auto field = [&p, end] {
        std::string out;
        while (p < end && *p) out += *p++;
        if (p < end) ++p;
        return out;
    };
    for (int n = data[0] & 15; n > 0 && p < end; --n) in.args.push_back(field());
    in.installText = field();
    in.runtimeText = std::string(p, end);
    return in;
}

bool present(settings::ConfigHandle config, const char* key) {
    const char* text = nullptr;
    int32_t flag = 0;
    return api.getString(config, key, &text) == 0 || api.getBool(config, key, &flag) == 0;
}

// One pass over the arguments into `config`, with the checks that hold for any input.
ArgumentImport importInto(settings::ConfigHandle config, const settings_test::InstallerRules& rules,
                          const std::vector<std::string>& args) {
    ArgumentSink sink;
    sink.load = [&](const std::string& text) {
        return api.loadText(config, text.c_str(), rules.validator, rules.mappers, 1, 1);
    };
    sink.present = [config](const char* key) { return present(config, key); };
    sink.report = [](const std::string&) {};
    const ArgumentImport imported = importArguments(args, OptionDescriptors, kOptionDescriptorCount, sink);
    if ((imported.result == 0) != imported.badArguments.empty()) fail("result and bad-argument list disagree");
    for (size_t i = 1; i < args.size(); ++i) {
        const OptionDescriptor* row = findOptionFor(args[i], OptionDescriptors, kOptionDescriptorCount);
        if (!row) continue;
        if (isSwitchName(row->name) && storedTextFor(*row, args[i]) != row->name) fail("a switch stored as typed");
        if (isHelpArgument(args[i])) fail("a help argument matched an option");
    }
    return imported;
}

// Whatever the range rule lets through must read back, through the engine, as the number it approved.
void checkRanges(settings::ConfigHandle config) {
    for (const OptionRow& row : kOptionRows) {
        const char* text = nullptr;
        if (api.getString(config, row.name, &text) != 0) continue;
        if (checkOptionRange(row, text) != 0) continue;
        if (row.rule != ValueRule::Seconds) continue;
        int32_t seconds = -1;
        if (api.getInt(config, row.name, &seconds) != 0) fail("an approved wait does not read as a number");
        if (seconds < 0 || seconds > row.maximum || std::to_string(seconds) != text)
            fail("an approved wait reads as another number");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const settings_test::InstallerRules rules(api);
    if (size == 0) return 0;
    const Input in = split(data, size);

    settings::ConfigHandle working = api.createConfig();
    if (api.loadText(working, defaultSettingsText().c_str(), rules.validator, rules.mappers, 1, 0) != 0) fail("defaults refused");
    if (importInto(working, rules, in.args).result == 0) {
        const int32_t runtime = api.loadText(working, in.runtimeText.c_str(), rules.validator, rules.mappers, 1, 1);
        const int32_t install = api.loadText(working, in.installText.c_str(), rules.validator, rules.mappers, 1, 1);
        if (runtime == 0 && install == 0 && importInto(working, rules, in.args).result == 0) checkRanges(working);
    }
    api.destroyConfig(working);

    // The export pass: no defaults, keys without value refused in the files.
    settings::ConfigHandle exported = api.createConfig();
    api.loadText(exported, in.runtimeText.c_str(), rules.validator, rules.mappers, 1, 0);
    api.loadText(exported, in.installText.c_str(), rules.validator, rules.mappers, 1, 0);
    importInto(exported, rules, in.args);
    checkRanges(exported);
    api.destroyConfig(exported);
    return 0;
}
