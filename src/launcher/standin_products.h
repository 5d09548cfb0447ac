// Stand-in for installed-product management; the real products subsystem replaces this file.
#pragma once

#include <cstddef>

// True when the installation may proceed (nothing is removed by the stand-in).
bool UninstallPLNOrTBXIfSameVersionExists(bool silent);
// The "ZoltHome" of the kit of this version into `buffer` (`capacity` characters).
bool FindTBXHome(char* buffer, size_t capacity);
