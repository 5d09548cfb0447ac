// The launcher's entry point: runs the installation and turns an escaping failure into an exit code.
#include <windows.h>

#include "launcher/escaped_exception.h"
#include "launcher/install_flow.h"
#include "process/exit_codes.h"
#ifdef TBX_TRUST_RUNNING_ACCOUNT_AS_OWNER
#include "platform/owner_trust_running_account.h"
#endif
#ifdef TBX_PAYLOAD_WRITES_FAIL
#include "launcher/payload.h"

namespace {

// A drive that fills up while the payload is written: the only write failure a test can bring about at will.
BOOL WINAPI diskFullWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

}  // namespace
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef TBX_TRUST_RUNNING_ACCOUNT_AS_OWNER
    // Only in the launcher built for end-to-end tests under Wine, which reports every file as the running
    // account's: the shipped launcher trusts SYSTEM, administrators and TrustedInstaller alone.
    trustRunningAccountAsOwner();
#endif
#ifdef TBX_PAYLOAD_WRITES_FAIL
    // Only in a launcher built for tests: every payload write fails as on a full drive.
    setPayloadWriteFunction(&diskFullWrite);
#endif
    // A failure nothing inside the run handled (a configuration query, for one) ends it with one ERROR record.
    try {
        return RunInstallation(instance, GetCommandLineW());
    } catch (...) {
        logEscapedException(TBX_HERE_AS("WinMain"));
    }
    return kExitFunctionFailed;
}
