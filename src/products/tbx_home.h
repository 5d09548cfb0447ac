// The home folder of the installed kit of this version.
#pragma once

#include <cstddef>

// The "ZoltHome" of the kit of this version into `buffer` (`capacity` characters, callers pass 2048).
bool FindTBXHome(char* buffer, size_t capacity);
