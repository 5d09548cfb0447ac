// Stand-in for the UI locale (English unless /lang names a supported one); the real Locale replaces this file.
#pragma once

#include <windows.h>

#include <cstdint>

class Locale {
public:
    WORD langId = 1033;

    static Locale fromUserPreferences();
    // Throws for an id that is not 1033, 2052 or 1041.
    static Locale fromLangId(uint16_t id);
};
