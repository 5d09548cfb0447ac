// Which owners the elevated run trusts: its own archive member, so that a test build can link another in its place
// (platform/owner_trust_running_account.h) and the shipped launcher carries no way to trust anyone else.
#include "platform/entry_trust.h"

bool isTrustedOwner(PSID sid) { return isBuiltInTrustedOwner(sid); }
