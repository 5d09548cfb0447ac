// Test builds only: an owner check that can also trust the running account, linked in place of the shipped one.
#pragma once

// From now on the running account counts as a trusted owner too, since Wine reports it as the owner of every
// file and folder. Only programs linked with the owner_trust_running_account objects have this call.
void trustRunningAccountAsOwner();
