// The process-wide mark of a detected tampering.
#include "launcher/tampering.h"

#include <atomic>

#include "platform/logger.h"

namespace {
std::atomic<bool> detected{false};
std::atomic<bool> remains{false};
}  // namespace

void reportTampering(const char* function, const std::string& what) {
    detected = true;
    TBX_LOG_AS(function, LOG_ERROR, what);
}

bool tamperingDetected() { return detected; }

void markTamperedPayloadRemains() { remains = true; }

bool tamperedPayloadRemains() { return remains; }
