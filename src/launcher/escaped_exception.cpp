// One ERROR record for an exception that escaped a step of the run, whatever its type.
#include "launcher/escaped_exception.h"

#include <exception>
#include <string>

#include "platform/errors.h"
#include "settings/settings_exception.h"

void logEscapedException(const SourceLocation& where) {
    try {
        throw;
    } catch (const settings::Exception& e) {
        // The settings engine's exceptions carry a result code and no text.
        logErrorAt(where, "settings::Exception with code " + std::to_string(e.code) + " caught");
    } catch (const std::exception& e) {
        logCaughtException(where, e);
    } catch (...) {
        logUnknownException(where);
    }
}
