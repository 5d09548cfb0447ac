// Exact ANSI forms of paths and the short-name fallback (code page 1252 under Wine).
#include "platform/ansi_path.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const wchar_t* fakeShortName = nullptr;

// Stands in for GetShortPathNameW: the file system's short name, or none when fakeShortName is null.
DWORD WINAPI fakeShortPath(LPCWSTR, LPWSTR out, DWORD size) {
    if (!fakeShortName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::wcslen(fakeShortName));
    if (!out || size <= length) return length + 1;
    std::wcscpy(out, fakeShortName);
    return length;
}

TEST(AnsiPath, ExactFormShortNameOrNone) {
    struct Case {
        const char* name;
        const wchar_t* path;
        const wchar_t* shortName;  // what the file system gives, null for none
        AnsiPathForm form;
        const char* ansi;
    } cases[] = {
        {"plain", L"C:\\users\\lukasz\\AppData\\LocalLow", nullptr, AnsiPathForm::Exact,
         "C:\\users\\lukasz\\AppData\\LocalLow"},
        {"in the code page", L"C:\\users\\Jos\u00e9", nullptr, AnsiPathForm::Exact, "C:\\users\\Jos\xe9"},
        {"outside: the short name", L"C:\\users\\\u0141ukasz\\AppData\\LocalLow",
         L"C:\\users\\_UKA~INY\\AppData\\LocalLow", AnsiPathForm::ShortName, "C:\\users\\_UKA~INY\\AppData\\LocalLow"},
        {"outside, no short name", L"C:\\users\\\u0141ukasz\\AppData\\LocalLow", nullptr, AnsiPathForm::None, ""},
        {"outside, short name no better", L"C:\\users\\\u0141ukasz", L"C:\\users\\\u0141ukasz", AnsiPathForm::None, ""},
        {"outside, short name outside too", L"C:\\\u4e2d\u6587\\x", L"C:\\\u4e2d\u6587\\x", AnsiPathForm::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeShortName = c.shortName;
        const AnsiPath result = ansiPathOf(c.path, &fakeShortPath);
        EXPECT_EQ(static_cast<int>(c.form), static_cast<int>(result.form));
        EXPECT_EQ(c.ansi, result.path);
    }
    fakeShortName = nullptr;
}

}  // namespace
