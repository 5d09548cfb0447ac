// One ERROR record for an exception that escaped a step of the run, whatever its type.
#pragma once

#include "platform/source_location.h"

// Call only inside a catch handler: rethrows the exception being handled to name it in the record.
void logEscapedException(const SourceLocation& where);
