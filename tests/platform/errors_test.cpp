// Error texts, located exceptions, catch-site records, handle owners and run-time library loading.
#include <gtest/gtest.h>

#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/win_handles.h"
#include "test_support.h"

using testing_support::LogCapture;

namespace {

// Ids of the test executable's message table.
const DWORD kFullStopOnly = 0x20000001;
const DWORD kEndsInFullStopCrLf = 0x20000002;

TEST(DescribeSystemError, TrimsLineBreaksAndFinalFullStop) {
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_EQ("Widget broke", describeSystemError(kEndsInFullStopCrLf, self));
    EXPECT_EQ(".", describeSystemError(kFullStopOnly, self));

    std::string fileNotFound = describeSystemError(ERROR_FILE_NOT_FOUND, nullptr);
    ASSERT_FALSE(fileNotFound.empty());
    EXPECT_EQ(std::string::npos, fileNotFound.find_first_of("\r\n\t"));
    EXPECT_NE('.', fileNotFound.back());
    EXPECT_NE(' ', fileNotFound.back());

    EXPECT_EQ("No description available", describeSystemError(0x2FFFFFF0, nullptr));
}

TEST(DescribeSystemError, SystemAndComTexts) {
    EXPECT_EQ("system error 2 (" + describeSystemError(2, nullptr) + ")", systemErrorText(2));
    EXPECT_EQ("COM error 0x80070005 (" + describeSystemError(5, nullptr) + ")", comErrorText(HRESULT(0x80070005)));
    EXPECT_EQ("COM error 0x80004005 (" + describeSystemError(0x80004005, nullptr) + ")",
              comErrorText(HRESULT(0x80004005)));
}

TEST(JoinErrorMessages, PutsOneSeparatorBetweenTrimmedParts) {
    struct Case {
        const char* message;
        const char* detail;
        const char* joined;
    } cases[] = {
        {"LoadLibraryW(a.dll) failed", "System error [5]", "LoadLibraryW(a.dll) failed. System error [5]"},
        {"Cannot open:", "  detail ", "Cannot open: detail"},
        {"Stop! \t", "detail", "Stop! detail"},
        {"  ", " detail\n", "detail"},
        {"", "detail", "detail"},
        {"message ", "", "message"},
        {"message", " \t", "message"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.message) + "|" + c.detail);
        EXPECT_EQ(c.joined, joinErrorMessages(c.message, c.detail));
    }
}

TEST(QmbErrorText, NamesFileLineAndFunction) {
    QmbError<std::runtime_error> e(std::runtime_error("bad text"),
                                   SourceLocation("C:\\work/src\\platform/Version.cpp", "Parser::operator()", 41));
    EXPECT_STREQ("Version.cpp(41) at Parser::operator()(): bad text", e.what());

    QmbError<std::length_error> plain(std::length_error("long"), SourceLocation("x.cpp", "f", 7));
    EXPECT_STREQ("x.cpp(7) at f(): long", plain.what());
}

TEST(QmbErrorText, ThrowMacrosCaptureTheRaiseSite) {
    try {
        TBX_THROW(std::invalid_argument, "raised here");
    } catch (const std::invalid_argument& e) {
        std::string what = e.what();
        EXPECT_EQ(0u, what.find("errors_test.cpp("));
        EXPECT_NE(std::string::npos, what.find(" at `anonymous-namespace'::QmbErrorText_ThrowMacrosCaptureTheRaiseSite_Test::TestBody(): raised here"));
    }
}

TEST(SysErrorText, WithAndWithoutFailingFunctionAddress) {
    SysError withAddress("LoadLibraryW(a.dll) failed", reinterpret_cast<const void*>(&LoadLibraryW), 126);
    std::string text = withAddress.what();
    EXPECT_EQ(0u, text.find("LoadLibraryW(a.dll) failed. System error [126](system error 126 ("));
    EXPECT_EQ("))", text.substr(text.size() - 2));

    SysError noAddress("GetThreadPreferredUILanguages (detect size) failed", nullptr, 5);
    EXPECT_STREQ("GetThreadPreferredUILanguages (detect size) failed. System error [5]", noAddress.what());
}

TEST(CatchSiteRecords, OneErrorRecordAtTheGivenLocation) {
    LogCapture log;
    logCaughtException(SourceLocation("C:\\src\\launcher\\main.cpp", "WinMain", 77), std::runtime_error("boom"));
    logUnknownException(SourceLocation("main.cpp", "WinMain", 78));
    std::string raw = log.raw();
    EXPECT_NE(std::string::npos, raw.find(", main.cpp:77 (WinMain)]\r\n\tERROR: Exception with message 'boom' caught\r\n"));
    EXPECT_NE(std::string::npos, raw.find(", main.cpp:78 (WinMain)]\r\n\tERROR: Unknown exception caught\r\n"));
    EXPECT_EQ(2u, log.messages().size());
}

// In a silent run a system error is a record and an exit code; a code of 0 must still read as a failure.
TEST(SystemErrorReport, SilentRunLogsAndNeverReturnsSuccess) {
    const Prompter nobody(true);
    struct Case {
        DWORD code;
        int exitCode;
    } cases[] = {{ERROR_DISK_FULL, 112}, {ERROR_ACCESS_DENIED, 5}, {0, 1627}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        LogCapture log;
        EXPECT_EQ(c.exitCode, reportSystemError("Installer : Wrapper.WriteFile (In small chunks) ", c.code, nobody));
        ASSERT_EQ(1u, log.messages().size());
        const std::string expected = "ERROR: Installer : Wrapper.WriteFile (In small chunks)  failed with error " +
                                     std::to_string(c.code) + ": ";
        EXPECT_EQ(0u, log.messages()[0].find(expected)) << log.messages()[0];
    }
}

TEST(HandleOwners, NullAndInvalidCloseSilentlyBadHandleLogs) {
    LogCapture log;
    closeHANDLE(nullptr);
    closeHANDLE(INVALID_HANDLE_VALUE);
    closeRegHandle(nullptr);
    EXPECT_TRUE(log.messages().empty());

    closeHANDLE(reinterpret_cast<HANDLE>(0x12340));
    closeRegHandle(reinterpret_cast<HKEY>(0x12340));
    ASSERT_EQ(2u, log.messages().size());
    EXPECT_NE(std::string::npos, log.raw().find("(closeHANDLE)]\r\n\tERROR: CloseHandle("));
    EXPECT_NE(std::string::npos, log.raw().find(") failed with system error 6 ("));
    EXPECT_NE(std::string::npos, log.raw().find("(closeRegHandle)]\r\n\tERROR: RegCloseKey("));
}

TEST(HandleOwners, OwnerClosesOnceAndMoves) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    LogCapture log;
    {
        UniqueHandle first(event);
        UniqueHandle second(std::move(first));
        EXPECT_EQ(nullptr, first.get());
        EXPECT_EQ(event, second.get());
    }
    EXPECT_TRUE(log.messages().empty());  // closed exactly once
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(event, &flags));
}

TEST(DllLoading, MissingLibraryThrowsLocatedSysError) {
    try {
        Dll dll(L"C:\\no\\such\\library.dll");
        FAIL() << "loaded";
    } catch (const QmbError<SysError>& e) {
        std::string what = e.what();
        EXPECT_EQ(0u, what.find("dll.cpp("));
        EXPECT_NE(std::string::npos, what.find(" at Dll::Dll(): LoadLibraryW(C:\\no\\such\\library.dll) failed. System error ["));
    }
}

TEST(DllLoading, SystemLibraryFunctionsPresentAndAbsent) {
    typedef DWORD(WINAPI TickFn)();
    DllFunction<TickFn> tick(Dll::system("kernel32"), "GetTickCount");
    ASSERT_TRUE(tick.available());
    EXPECT_NE(0u, static_cast<TickFn*>(tick)());

    DllFunction<TickFn> missing(Dll::system("\\kernel32"), "NoSuchFunctionAnywhere");
    EXPECT_FALSE(missing.available());
    try {
        static_cast<TickFn*>(missing)();
        FAIL() << "called a missing function";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("(): function NoSuchFunctionAnywhere is not available"));
    }
}

}  // namespace
