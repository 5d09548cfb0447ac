// The plain-text parser: grammar, line numbering, cursor positions, stop-on-error and the buffers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/config_builder.h"
#include "settings/parser.h"
#include "settings_test_files.h"

namespace settings_impl {
namespace {

using Cursor = PlainTextFileConfigParser::Cursor;

// Writes every callback as one line of text: "entry 0:2 KEY=value", "error 3:0 302", ...
class RecordingCallback : public IConfigParserCallback {
public:
    bool onComment(const IParserCursor& cursor, const char* text) override {
        record("comment", cursor, text);
        return acceptComments;
    }
    int32_t onEntry(const IParserCursor& cursor, const char* key, const char* value) override {
        record("entry", cursor, std::string(key) + (value ? std::string("=[") + value + "]" : std::string(" (no value)")));
        return entryResult;
    }
    void onParseError(const IParserCursor& cursor, int32_t code) override {
        record("error", cursor, std::to_string(code));
    }

    std::vector<std::string> events;
    bool acceptComments = true;
    int32_t entryResult = EntryOk;

private:
    void record(const char* what, const IParserCursor& cursor, const std::string& detail) {
        const auto& at = static_cast<const Cursor&>(cursor);
        events.push_back(std::string(what) + " " + std::to_string(at.line) + ":" + std::to_string(at.column) + " " + detail);
    }
};

std::vector<std::string> eventsOf(const std::string& text, bool allowKeysWithoutValue = false) {
    RecordingCallback callback;
    PlainTextFileConfigParser::parseText(text, callback, false, allowKeysWithoutValue);
    return callback.events;
}

TEST(Parser, Grammar) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"blanks around key and value", "  KEY : some value  ", {"entry 0:2 KEY=[some value]"}},
        {"first separator splits", "A=b=c", {"entry 0:0 A=[b=c]"}},
        {"backslashes are text", "PATH=C:\\dir", {"entry 0:0 PATH=[C:\\dir]"}},
        {"colon separates too", "C:\\dir=1", {"entry 0:0 C=[\\dir=1]"}},
        {"empty value is a value", "KEY=", {"entry 0:0 KEY=[]"}},
        {"key without value", "KEY", {"error 0:0 301"}},
        {"comment", "   # note", {"comment 0:3 # note"}},
        {"no trailing comments", "A=1 # note", {"entry 0:0 A=[1 # note]"}},
        {"empty key", "=5", {"error 0:0 302"}},
        {"empty key after a tab", "\t=5", {"error 0:1 302"}},
        {"inner blanks stay in the key", "\tmy key\t= v", {"entry 0:1 my key=[v]"}},
        {"blank lines count", "\n \t\nA=1", {"entry 2:0 A=[1]"}},
        {"CR LF is one break, LF CR two", "A=1\r\n\r\nB=2\rC=3\nD=4\n\rE=5",
         {"entry 0:0 A=[1]", "entry 2:0 B=[2]", "entry 3:0 C=[3]", "entry 4:0 D=[4]", "entry 6:0 E=[5]"}},
        {"quotes are text", "Q=\"a b\"", {"entry 0:0 Q=[\"a b\"]"}},
        {"byte-order mark belongs to the key", "\xEF\xBB\xBFK=1", {"entry 0:0 \xEF\xBB\xBFK=[1]"}},
        {"only blanks other than space and tab", "\vK=\f", {"entry 0:0 \vK=[\f]"}},
        {"empty text", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(eventsOf(c.text), c.events) << c.name;
    EXPECT_EQ(eventsOf("  KEY  \n", true), std::vector<std::string>{"entry 0:2 KEY (no value)"});
}

TEST(Parser, RefusedCommentsAndEntriesAreReportedAtTheLineStart) {
    RecordingCallback callback;
    callback.acceptComments = false;
    callback.entryResult = InvalidKey;
    EXPECT_FALSE(PlainTextFileConfigParser::parseText("  # c\n  K=v", callback, false, false));
    EXPECT_EQ(callback.events, (std::vector<std::string>{"comment 0:2 # c", "error 0:2 305", "entry 1:2 K=[v]",
                                                         "error 1:2 303"}));
}

TEST(Parser, StopOnErrorEndsAtTheFirstBadLine) {
    RecordingCallback callback;
    EXPECT_FALSE(PlainTextFileConfigParser::parseText("A=1\nbad\nB=2", callback, true, false));
    EXPECT_EQ(callback.events, (std::vector<std::string>{"entry 0:0 A=[1]", "error 1:0 301"}));
    RecordingCallback goOn;
    EXPECT_TRUE(PlainTextFileConfigParser::parseText("A=1\nbad\nB=2", goOn, false, false)) << "the last line decides";
}

TEST(Parser, DescribeCursorIsOneBased) {
    EXPECT_EQ(describeCursor(Cursor(2, 4)), "line 3; char 5");
    EXPECT_EQ(describeCursor(Cursor(0, 0)), "line 1; char 1");
}

class MessageCollector : public IParserErrorListener {
public:
    void onError(const IParserCursor&, const char* message) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

ConfigPtr parseString(const std::string& text, bool stopOnError, IParserErrorListener* listener) {
    PlainTextFileConfigParser parser(std::make_unique<StringBuffer>(text));
    parser.setErrorListener(listener);
    parser.setStopOnError(stopOnError);
    return parser.parse();
}

TEST(Parser, ParseBuildsTheConfigurationAndWordsTheReports) {
    MessageCollector collector;
    ConfigPtr config = parseString("A=1\n=x\nB=2\nC\n\n# c\n\tD:\xC3\xA9", false, &collector);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->getKeys().size(), 3u);
    EXPECT_STREQ(config->getString("D"), "\xC3\xA9");
    EXPECT_EQ(collector.messages, (std::vector<std::string>{"\"Empty key\" at line 2; char 1",
                                                            "\"Key without value\" at line 4; char 1"}));
    EXPECT_EQ(parseString("A=1\n=x", true, nullptr), nullptr);
    EXPECT_TRUE(parseString(" \n# only comments\n", true, nullptr)->getKeys().empty());
    PlainTextFileConfigParser noBuffer(nullptr);
    EXPECT_TRUE(noBuffer.parse()->getKeys().empty());
}

TEST(Parser, BuilderReportTextsByCode) {
    MessageCollector collector;
    ConfigBuilder builder(&describeCursor, nullptr, nullptr, &collector);
    for (int32_t code : {301, 302, 303, 304, 305, 300, 999}) builder.onParseError(Cursor(0, 1), code);
    EXPECT_EQ(collector.messages,
              (std::vector<std::string>{"\"Key without value\" at line 1; char 2", "\"Empty key\" at line 1; char 2",
                                        "\"Invalid key\" at line 1; char 2", "\"Invalid value\" at line 1; char 2",
                                        "\"Invalid comment\" at line 1; char 2", "\"Unknown error\" at line 1; char 2",
                                        "\"Unknown error\" at line 1; char 2"}));
    ConfigBuilder silent(&describeCursor, nullptr, nullptr, nullptr);
    silent.onParseError(Cursor(0, 0), 302);  // no listener: nothing happens
    EXPECT_EQ(silent.onEntry(Cursor(0, 0), "K", "\xFF"), 304) << "bad UTF-8 in a value is an invalid value";
    EXPECT_EQ(silent.onEntry(Cursor(0, 0), "K", "v"), 300);
    EXPECT_EQ(silent.onEntry(Cursor(0, 0), "K", nullptr), 300);
    ConfigPtr taken = silent.takeConfig();
    EXPECT_FALSE(taken->hasValue("K")) << "a later valueless entry replaces the value";
    EXPECT_TRUE(silent.takeConfig()->getKeys().empty()) << "taking empties the builder";
}

int32_t readCode(PlainTextFileConfigParser::IBuffer& buffer, std::string& out) {
    try {
        buffer.read(out);
    } catch (const settings::Exception& e) {
        return e.code;
    }
    return 0;
}

TEST(Parser, BuffersReadWholeTextsAndRefuseBadOnes) {
    settings_test::TempFolder folder;
    const std::string crlf = "A=1\r\nB=2\r\n";
    settings_test::writeBytes(folder.path() / "crlf.cfg", crlf);
    settings_test::writeBytes(folder.path() / "bad.cfg", "# \xE2\x82");
    settings_test::writeBytes(folder.path() / "limit.cfg", std::string(PlainTextFileConfigParser::MAX_FILE_TEXT, 'x'));
    settings_test::writeBytes(folder.path() / "under.cfg", std::string(PlainTextFileConfigParser::MAX_FILE_TEXT - 1, 'x'));
    settings_test::writeBytes(folder.path() / "empty.cfg", "");
    // There but unreadable: an error of its own, never "not there".
    std::filesystem::create_directories(folder.path() / "folder.cfg");
#ifdef _WIN32
    const int32_t unreadable = 305;
#else
    const int32_t unreadable = 307;
#endif
    struct Case {
        const char* file;
        int32_t code;
        size_t size;
    };
    const Case cases[] = {{"crlf.cfg", 0, crlf.size()}, {"bad.cfg", 314, 0}, {"limit.cfg", 315, 0},
                          {"under.cfg", 0, PlainTextFileConfigParser::MAX_FILE_TEXT - 1}, {"empty.cfg", 0, 0},
                          {"missing.cfg", 304, 0}, {"folder.cfg", unreadable, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        FileBuffer buffer(FileName(folder.name(c.file)).canonicalize());
        std::string out = "previous";
        EXPECT_EQ(readCode(buffer, out), c.code);
        if (c.code == 0) {
            EXPECT_EQ(out.size(), c.size);
        } else {
            EXPECT_EQ(out, "previous");
        }
    }
    std::string out;
    FileBuffer crlfBuffer(FileName(folder.name("crlf.cfg")).canonicalize());
    crlfBuffer.read(out);
    EXPECT_EQ(out, crlf) << "no newline conversion";
    StringBuffer bad("ok\n\xC0");
    EXPECT_EQ(readCode(bad, out), 314);
    StringBuffer large(std::string(PlainTextFileConfigParser::MAX_FILE_TEXT + 10, 'x'));
    EXPECT_EQ(readCode(large, out), 0) << "text given as a string has no size limit";
}

}  // namespace
}  // namespace settings_impl
