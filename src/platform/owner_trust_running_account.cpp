// Test builds only: isTrustedOwner linked ahead of the platform library's, trusting the running account as well
// once trustRunningAccountAsOwner has been called.
#include "platform/owner_trust_running_account.h"

#include "platform/descriptor_check.h"
#include "platform/entry_trust.h"

namespace {

BYTE runningAccountBuffer[SECURITY_MAX_SID_SIZE];
PSID runningAccount = nullptr;

}  // namespace

bool isTrustedOwner(PSID sid) {
    if (isBuiltInTrustedOwner(sid)) return true;
    return sid && runningAccount && IsValidSid(sid) && EqualSid(sid, runningAccount);
}

void trustRunningAccountAsOwner() { runningAccount = processUserSid(runningAccountBuffer); }
