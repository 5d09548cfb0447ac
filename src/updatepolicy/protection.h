// Data protection of policy values and the Base64 text form of protected bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace au {

// The 4 little-endian bytes of `value`, protected for the current user or, with `machineScope`, the machine.
std::vector<BYTE> protectValue(uint32_t value, bool machineScope);
// The value inside protected bytes; anything but exactly 4 plain bytes is an error.
uint32_t unprotectValue(const std::vector<BYTE>& bytes);
// Base64 without line breaks; empty for empty input.
std::string binary2string(const std::vector<BYTE>& bytes);
// The bytes of a Base64 text; empty for an empty text.
std::vector<BYTE> string2binary(const std::string& text);

}  // namespace au
