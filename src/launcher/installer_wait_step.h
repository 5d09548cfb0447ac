// Before the run's first engine run: another installation's hold on the Windows Installer is waited out, asked
// about, or ends the run with 1618, the code deployment tools retry.
#pragma once

#include <windows.h>

#include "launcher/step_result.h"
#include "platform/prompter.h"

// Nobody at the screen: waits up to `limitSeconds`, looking once a second. With a person at the screen: one
// Retry/Cancel box at a time until the installer is free or the person cancels; a box that cannot be shown
// falls back to the wait, and says so.
StepResult waitForInstallerStep(HINSTANCE instance, const Prompter& prompter, unsigned limitSeconds);

// Before the auto-update install: true when the installer is free within `limitSeconds`; otherwise a WARNING
// says the component is not installed this time (the run's exit code stays the kit's).
bool installerFreeForAutoUpdate(unsigned limitSeconds);
