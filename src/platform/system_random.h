// Random numbers from the operating system's generator, for values another machine or user must not guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A uniformly distributed number below `bound` (bound > 0); throws QmbError<SysError> when the system
// generator fails.
uint32_t systemRandomBelow(uint32_t bound);

// `bytes` random bytes as lower-case hexadecimal text, for names that must not be predictable.
std::string systemRandomHex(size_t bytes);
