// How long loading the largest accepted settings file through the API takes, with the installer's rules,
// and, as the reference, how long a general INI parser (inih) takes to read the same file into a hash map.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <unordered_map>

#ifdef TBX_BENCH_INIH
#include <ini.h>
#endif

#include "installer_rules.h"
#include "settings/settings_api.h"
#include "settings_test_files.h"

namespace {

// Typical install-configuration lines, repeated to one byte under the 1 MiB limit.
std::string largestAcceptedText() {
    const char* const lines[] = {
        "AUTO_UPDATE=Enable\n",
        "install_silent=1\n",
        "INSTALLDIR=C:\\Program Files\\Zolt\\tbx-4.2\n",
        "web_zolt_security_level=VH\n",
        "/lang=1033\n",
        "# a comment line\n",
        "ADDLOCAL=ToolsFeature,SourceFeature\n",
        "EULA : Disable\n",
    };
    std::string text;
    for (size_t i = 0; text.size() < 1048575 - 64; ++i) text += lines[i % (sizeof(lines) / sizeof(lines[0]))];
    text += "#";
    text.resize(1048575, '-');
    return text;
}

void LoadLargestSettingsFile(benchmark::State& state) {
    const settings::settings_api api = settings::getSettingsApi();
    settings_test::TempFolder folder;
    const std::string text = largestAcceptedText();
    settings_test::writeBytes(folder.path() / "largest.cfg", text);
    const std::string name = folder.name("largest.cfg");
    settings_test::InstallerRules rules(api);
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    for (auto _ : state) {
        settings::ConfigHandle config = api.createConfig();
        const int32_t result = api.loadFile(config, name.c_str(), rules.validator, rules.mappers, 1, 0);
        api.destroyConfig(config);
        if (result != 0) {
            state.SkipWithError(("load failed with " + std::to_string(result)).c_str());
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["lines"] = static_cast<double>(lines + 1);
}

#ifdef TBX_BENCH_INIH
int storeEntry(void* user, const char* section, const char* name, const char* value) {
    auto& entries = *static_cast<std::unordered_map<std::string, std::string>*>(user);
    entries[std::string(section) + '.' + name] = value;
    return 1;
}

void InihParsesTheSameFile(benchmark::State& state) {
    settings_test::TempFolder folder;
    const std::string text = largestAcceptedText();
    settings_test::writeBytes(folder.path() / "largest.cfg", text);
    const std::string path = (folder.path() / "largest.cfg").string();
    for (auto _ : state) {
        std::unordered_map<std::string, std::string> entries;
        if (ini_parse(path.c_str(), storeEntry, &entries) != 0) {
            state.SkipWithError("inih refused the file");
            break;
        }
        benchmark::DoNotOptimize(entries);
    }
    // The same counters as the load's, which the table reports need in every row.
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["lines"] = static_cast<double>(lines + 1);
}
BENCHMARK(InihParsesTheSameFile)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(LoadLargestSettingsFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
