// The launcher's entry point: runs the installation and turns an escaping failure into an exit code.
#include <windows.h>

#include <string>

#include "launcher/install_flow.h"
#include "platform/errors.h"
#include "settings/settings_exception.h"

namespace {
// A failure nothing inside the run handled (a configuration query, the auto-update installation).
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return RunInstallation(instance, GetCommandLineW());
    } catch (const settings::Exception& e) {
        // The settings engine's exceptions carry a result code and no text.
        logErrorAt(TBX_HERE_AS("WinMain"), "settings::Exception with code " + std::to_string(e.code) + " caught");
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("WinMain"), e);
    } catch (...) {
        logUnknownException(TBX_HERE_AS("WinMain"));
    }
    return kExitFunctionFailed;
}
