// Stand-in for the UI locale (English unless /lang names a supported one); the real Locale replaces this file.
#include "standin_locale.h"

#include <stdexcept>
#include <string>

#include "errors.h"

Locale Locale::fromUserPreferences() { return Locale(); }

Locale Locale::fromLangId(uint16_t id) {
    if (id != 1033 && id != 2052 && id != 1041)
        TBX_THROW_AS("Locale::fromLangId", std::runtime_error, "unsupported locale langId: " + std::to_string(id));
    Locale locale;
    locale.langId = id;
    return locale;
}
