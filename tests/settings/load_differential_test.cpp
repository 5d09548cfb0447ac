// The settings load path against its reference copy: the same result, configuration, error lines and
// error reports for every fuzz corpus input and for generated edge inputs, under every load option and rule set.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_corpus.h"
#include "installer_rules.h"
#include "reference/reference_engine.h"
#include "settings/settings_api.h"
#include "settings_test_files.h"

namespace {

using settings::settings_api;

// Every kind of rule, unknown keys admitted, and mappings that overlap: two for one key in different
// case sensitivity (the later decides), and mappings onto ruled keys.
struct MixedRules {
    explicit MixedRules(const settings_api& api_) : api(api_) {
        settings::ValidatorBuilderHandle rules = api.createValidatorBuilder();
        api.setTypeInt(rules, "I");
        api.setTypeBool(rules, "B");
        api.setTypeDouble(rules, "D");
        api.setTypeDirname(rules, "P");
        api.setDirname(rules, "Q", 0);
        api.setDirname(rules, "R", 1);
        const settings::FixedValueEntry words[] = {{"on", 1, 0}, {"Off", 0, 1}, {"x", 7, 2}, {"X", 8, 3}};
        api.setFixedValues(rules, "F", words, 4);
        api.setAllowUnknownKeys(rules, 1);
        api.buildValidator(rules, &validator);
        api.destroyValidatorBuilder(rules);
        settings::KeyMapperBuilderHandle mapping = api.createKeyMapperBuilder();
        api.addMapping(mapping, "i", "I", 1);
        api.addMapping(mapping, "flag", "F", 0);
        api.addMapping(mapping, "Flag", "B", 1);
        api.addMapping(mapping, "path", "Q", 0);
        api.addMapping(mapping, "r", "P", 1);
        api.buildMappers(mapping, &mappers);
        api.destroyKeyMapperBuilder(mapping);
    }
    ~MixedRules() {
        api.destroyKeyMapperList(mappers);
        api.destroyValidator(validator);
    }
    MixedRules(const MixedRules&) = delete;
    MixedRules& operator=(const MixedRules&) = delete;

    const settings_api& api;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
};

// One engine with its own rule handles.
struct Engine {
    explicit Engine(const settings_api& api_) : api(api_), installer(api), mixed(api) {}
    const settings_api api;
    const settings_test::InstallerRules installer;
    const MixedRules mixed;
};

struct Options {
    const char* rules;  // "none", "installer", "mixed", "mappers only"
    bool stopOnError;
    bool keysWithoutValue;
};

std::string describe(const Options& o) {
    return std::string(o.rules) + (o.stopOnError ? ", stop on error" : ", go on") +
           (o.keysWithoutValue ? ", keys without value" : "");
}

// All an API user can see of one load.
struct Outcome {
    int32_t result = -1;
    std::vector<int32_t> errorLines;
    std::string reports;  // what the engine wrote to the standard error stream
    std::string entries;  // every key with what each getter gives for it

    bool operator==(const Outcome& o) const {
        return result == o.result && errorLines == o.errorLines && reports == o.reports && entries == o.entries;
    }
};

void PrintTo(const Outcome& o, std::ostream* out) {
    *out << "result " << o.result << ", error lines";
    for (int32_t line : o.errorLines) *out << ' ' << line;
    *out << "\nreports:\n" << o.reports << "entries:\n" << o.entries;
}

std::string entriesOf(const settings_api& api, settings::ConfigHandle config) {
    struct Walk {
        const settings_api* api;
        std::ostringstream out;
    } walk{&api, {}};
    walk.out.precision(17);
    api.forEachKey(
        config,
        [](settings::ConfigHandle handle, int32_t count, int32_t index, const char* key, void* user) {
            Walk& w = *static_cast<Walk*>(user);
            const char* text = nullptr;
            int32_t number = 0;
            int32_t flag = 0;
            double real = 0;
            w.out << index << '/' << count << " [" << key << "]";
            const int32_t textResult = w.api->getString(handle, key, &text);
            w.out << " string " << textResult << (textResult == 0 ? " [" + std::string(text) + "]" : "");
            const int32_t intResult = w.api->getInt(handle, key, &number);
            w.out << " int " << intResult << ' ' << (intResult == 0 ? number : 0);
            const int32_t boolResult = w.api->getBool(handle, key, &flag);
            w.out << " bool " << boolResult << ' ' << (boolResult == 0 ? flag : 0);
            const int32_t realResult = w.api->getDouble(handle, key, &real);
            w.out << " double " << realResult << ' ' << (realResult == 0 ? real : 0.0) << '\n';
        },
        &walk);
    return walk.out.str();
}

// Loads `text` (through a file when `file` names one, else as text) into a configuration that already
// holds the installer's defaults, so that the merge of what was read is part of the outcome.
Outcome load(const Engine& engine, const Options& options, const std::string& text, const std::string* file) {
    const settings_api& api = engine.api;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
    if (std::strcmp(options.rules, "installer") == 0) {
        validator = engine.installer.validator;
        mappers = engine.installer.mappers;
    } else if (std::strcmp(options.rules, "mixed") == 0) {
        validator = engine.mixed.validator;
        mappers = engine.mixed.mappers;
    } else if (std::strcmp(options.rules, "mappers only") == 0) {
        mappers = engine.installer.mappers;
    }
    settings::ConfigHandle config = api.createConfig();
    EXPECT_EQ(api.loadText(config, settings_test::installerDefaultSettings(), nullptr, nullptr, 1, 0), 0);
    ::testing::internal::CaptureStderr();
    Outcome outcome;
    outcome.result = file ? api.loadFile(config, file->c_str(), validator, mappers, options.stopOnError,
                                         options.keysWithoutValue)
                          : api.loadText(config, text.c_str(), validator, mappers, options.stopOnError,
                                         options.keysWithoutValue);
    outcome.reports = ::testing::internal::GetCapturedStderr();
    const int32_t* first = nullptr;
    int32_t count = 0;
    EXPECT_EQ(api.getErrorLines(config, &first, &count), 0);
    if (first) outcome.errorLines.assign(first, first + count);
    outcome.entries = entriesOf(api, config);
    api.destroyConfig(config);
    return outcome;
}

class LoadDifferential : public ::testing::Test {
protected:
    // Runs `text` through both engines, as text and as a file, under every option and rule set.
    void expectSameEverywhere(const std::string& name, const std::string& text) {
        SCOPED_TRACE(name);
        const std::string file = folder.name("input.cfg");
        settings_test::writeBytes(folder.path() / "input.cfg", text);
        for (const char* rules : {"none", "installer", "mixed", "mappers only"}) {
            for (const bool stop : {false, true}) {
                for (const bool keysWithoutValue : {false, true}) {
                    const Options options{rules, stop, keysWithoutValue};
                    SCOPED_TRACE(describe(options));
                    EXPECT_EQ(load(engine, options, text, nullptr), load(reference, options, text, nullptr))
                        << "as text";
                    EXPECT_EQ(load(engine, options, text, &file), load(reference, options, text, &file))
                        << "as a file";
                }
            }
        }
    }

    settings_test::TempFolder folder;
    const Engine engine{settings::getSettingsApi()};
    const Engine reference{settings_reference::getReferenceSettingsApi()};
};

TEST_F(LoadDifferential, FuzzCorpus) {
    ASSERT_GT(settings_test::FUZZ_CORPUS_SIZE, 0u);
    for (size_t i = 0; i < settings_test::FUZZ_CORPUS_SIZE; ++i) {
        const settings_test::CorpusFile& input = settings_test::FUZZ_CORPUS[i];
        const std::string bytes(input.bytes, input.size);
        expectSameEverywhere(input.name, bytes);
        // The fuzz target reads its options from the first byte and the text from the rest.
        if (!bytes.empty()) expectSameEverywhere(std::string(input.name) + " after its options byte", bytes.substr(1));
    }
}

TEST_F(LoadDifferential, EdgeInputs) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blanks only", " \t \n\t"},
        {"line breaks of every kind, none at the end", "A=1\r\n\rB=2\n\r\nC=3\r"},
        {"a break at the very end", "A=1\n"},
        {"blanks around everything", " \t I \t: \t 12 \t\r\n\tB\t=\tyes\t"},
        {"empty key after blanks", "  \t= value\n:x"},
        {"key without value, with blanks", "  BARE \t\nINSTALL_SILENT\n"},
        {"comments, indented and refused", "# one\n  \t# two\n#\nEULA=Enable # not a comment"},
        {"NUL bytes in key, value and comment", "A\0B=1\nC=\0x\n#\0c\n\0=5\nD=\0"s},
        {"separators in values", "A=b=c:d\nQ:C:\\x:y\n:=\n=:"},
        {"mapped keys in any case", "install_silent=1\nInstall_Silent=0\nINSTALL_SILENT=Enable\nflag=on\nFlag=yes\nFLAG=X"},
        {"case-sensitive mapping", "i=0x1f\nI=-017\nPATH=C:\\a\nq=D:/b"},
        {"numbers", "I=99999999999\nI=-2147483648\nI=2147483648\nI= 12abc\nI=0x\nI=-0\nD=1e400\nD=nan\nD=.5e-3\nB=TRUE"},
        {"fixed values", "F=ON\nF=off\nF=Off\nF=x\nF=X\nF=y\nWEB_ZOLT_SECURITY_LEVEL=vh\nweb_zolt_security_level=VH"},
        {"folder values", "Q=C:\nQ=c:\\\nQ=C:relative\nQ=\\\\server\\share\nQ=C:\\CON\\x\nQ=C:\\con\\x\nQ=C:\\a|b\n"
                          "Q=C:\\.\\..\\..\nQ=C:/a//b/\nQ=1:\\x\nQ=C:\\COM1\nQ=C:\\LPT10\nQ=C:\\a\tb\nQ=\nP=anything"},
        {"a folder of 259 and 260 bytes", "Q=C:\\" + std::string(256, 'a') + "\nQ=C:\\" + std::string(257, 'b')},
        {"UTF-8 in keys and folder values", "K\xC3\xA9=v\xE2\x82\xAC\nQ=C:\\\xE6\x97\xA5\xE6\x9C\xAC\nQ=C:\\\xF0\x9F\x98\x80"},
        {"UTF-8 the file check admits and the folder check refuses",
         "Q=C:\\\xF8\x88\x80\x80\x80\nQ=C:\\\xC0\x80\nQ=C:\\\xED\xA0\x80\nQ=C:\\\xF4\x90\x80\x80\nR=C:\\\xC0\x80"},
        {"broken UTF-8", "A=\xC3"},
        {"broken UTF-8 late in a long line", std::string(40, 'x') + "=" + std::string(40, 'y') + "\xFF"},
        {"installer lines, good and bad", "AUTO_UPDATE=Enable\nEULA : Disable\nEULA=enable\nUNKNOWN=1\n/lang=1033\n"
                                          "INSTALLDIR=relative\nINSTALLDIR=C:\\Program Files\\Zolt\nADDLOCAL=a,b\n"},
        {"the same key many times", [] {
             std::string text;
             for (int i = 0; i < 200; ++i) text += "AUTO_UPDATE=" + std::string(i % 3 ? "Enable\n" : "Disable\n");
             return text;
         }()},
    };
    for (const Case& c : cases) expectSameEverywhere(c.name, c.text);
}

// Lines put together from the grammar's pieces by a fixed pseudo-random sequence.
TEST_F(LoadDifferential, GeneratedInputs) {
    const char* const keys[] = {"I", "i", "B", "D", "P", "Q", "R", "F", "flag", "Flag", "path", "X", "INSTALLDIR",
                                "install_silent", "/lang", "EULA", "WEB_ZOLT_SECURITY_LEVEL", "", "K\xC3\xA9"};
    const char* const values[] = {"", "1", "0", "-0x10", "yes", "off", "Off", "x", "X", "C:\\a", "C:/CON", "rel",
                                  "Enable", "VH", "1.5", "C:\\a:b", "\xE2\x82\xAC", "\xC0\x80", "  spaced  "};
    const char* const separators[] = {"=", ":", " = ", "\t:", ""};
    const char* const breaks[] = {"\n", "\r\n", "\r", "\n\n"};
    uint32_t state = 12345;
    const auto next = [&state](uint32_t bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    };
    for (int input = 0; input < 120; ++input) {
        std::string text;
        const uint32_t lines = next(12);
        for (uint32_t line = 0; line < lines; ++line) {
            if (next(8) == 0) text += std::string(next(3), ' ') + "# remark";
            else if (next(10) == 0) text += "\t";
            else text += std::string(next(2), ' ') + keys[next(19)] + separators[next(5)] + values[next(19)];
            if (line + 1 < lines || next(2)) text += breaks[next(4)];
        }
        expectSameEverywhere("generated input " + std::to_string(input), text);
    }
}

TEST_F(LoadDifferential, LargestAcceptedFileAndOneByteMore) {
    std::string text;
    while (text.size() < 1048575 - 64) text += "AUTO_UPDATE=Enable\nINSTALLDIR=C:\\Program Files\\Zolt\n/lang=1033\n";
    text += "#";
    for (const size_t size : {size_t{1048575}, size_t{1048576}}) {
        text.resize(size, '-');
        settings_test::writeBytes(folder.path() / "large.cfg", text);
        const std::string file = folder.name("large.cfg");
        const Options options{"installer", true, false};
        const Outcome outcome = load(engine, options, text, &file);
        EXPECT_EQ(outcome.result, size == 1048575 ? 0 : 315);
        EXPECT_EQ(outcome, load(reference, options, text, &file)) << size << " bytes";
    }
}

}  // namespace
