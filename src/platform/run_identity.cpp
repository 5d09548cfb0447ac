// The account and elevation of the running process, read from its token.
#include "platform/run_identity.h"

#include <windows.h>
#include <sddl.h>

#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

std::string sidText(PSID sid) {
    LPWSTR raw = nullptr;
    if (!ConvertSidToStringSidW(sid, &raw)) return std::string();
    LocalMemory<LPWSTR> text(raw);
    return tstrings::toUtf8(text.get());
}

std::string accountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return std::string();
    const std::wstring account = domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    return tstrings::toUtf8(account);
}

}  // namespace

RunIdentity currentRunIdentity() {
    RunIdentity identity;
    try {
        HANDLE rawToken = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return identity;
        UniqueHandle token(rawToken);
        BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        if (GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) {
            PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
            identity.sid = sidText(sid);
            identity.account = accountName(sid);
            if (identity.account.empty()) identity.account = identity.sid;
        }
        TOKEN_ELEVATION elevation{};
        if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
            identity.elevated = elevation.TokenIsElevated != 0;
    } catch (...) {
        // What cannot be read stays empty: the records say so.
    }
    return identity;
}
