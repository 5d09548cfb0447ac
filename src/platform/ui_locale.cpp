// The launcher's user-interface languages: the table of supported locales and the choice among them.
#include "platform/ui_locale.h"

#include <stdexcept>
#include <string>

#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"

namespace {

const Locale::Entry kSupportedLocales[] = {
    {1033, "en", nullptr, {9, 0, 0, 0}},
    {2052, "zh_CN", "zh", {2052, 4100, 4, 0}},
    {1041, "ja", nullptr, {17, 0, 0, 0}},
};

constexpr ULONG kPreferredLanguageFlags = 52;  // MUI_LANGUAGE_ID | MUI_MERGE_SYSTEM_FALLBACK | MUI_MERGE_USER_FALLBACK

// Remembers the first entry it accepts.
class LocaleMatcher : public Locale::LocaleObserver {
public:
    enum Mode { BY_LANG_ID, BY_MATCH_IDS };
    LocaleMatcher(Mode mode_, uint16_t id_) : mode(mode_), id(id_) {}

    bool visit(const Locale::Entry& entry) override {
        if (accepts(entry)) {
            found = &entry;
            return false;
        }
        return true;
    }

    const Locale::Entry* found = nullptr;

private:
    bool accepts(const Locale::Entry& entry) const {
        if (mode == BY_LANG_ID) return entry.langId == id;
        for (uint16_t match : entry.matchIds) {
            if (match == 0) break;
            if (match == id) return true;
        }
        return false;
    }

    Mode mode;
    uint16_t id;
};

void appendWithPrimary(std::vector<uint16_t>& ids, LANGID id) {
    ids.push_back(id);
    uint16_t primary = PRIMARYLANGID(id);
    if (primary != id) ids.push_back(primary);
}

}  // namespace

void Locale::forEachSupported(LocaleObserver& observer) {
    for (const Entry& entry : kSupportedLocales)
        if (!observer.visit(entry)) return;
}

Locale Locale::defaultLocale() { return Locale(&kSupportedLocales[0]); }

Locale Locale::fromLangId(uint16_t id) {
    LocaleMatcher matcher(LocaleMatcher::BY_LANG_ID, id);
    forEachSupported(matcher);
    if (!matcher.found)
        TBX_THROW_AS("Locale::fromLangId", std::runtime_error, "unsupported locale langId: " + std::to_string(id));
    return Locale(matcher.found);
}

bool Locale::isSupported(uint16_t id, Locale& out) {
    LocaleMatcher matcher(LocaleMatcher::BY_MATCH_IDS, id);
    forEachSupported(matcher);
    if (!matcher.found) return false;
    out = Locale(matcher.found);
    return true;
}

std::vector<uint16_t> Locale::fallbackLanguages(LANGID threadLocale, LANGID userUi, LANGID systemUi) {
    std::vector<uint16_t> ids;
    for (LANGID id : {threadLocale, userUi, systemUi, static_cast<LANGID>(1033)}) appendWithPrimary(ids, id);
    return ids;
}

std::vector<uint16_t> Locale::parseLanguageList(const std::wstring& multiString) {
    std::vector<std::string> parts;
    tstrings::split(tstrings::toUtf8(multiString), std::string(1, '\0'), parts);
    std::vector<uint16_t> ids;
    for (const std::string& part : parts) {
        if (part.empty()) continue;  // the list's terminating empty string
        size_t used = 0;
        unsigned long value = 0;
        try {
            value = std::stoul(part, &used, 16);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != part.size() || value > 0xFFFF || part[0] == '-' || part[0] == '+' || part[0] == ' ')
            TBX_THROW_AS("Locale::preferredLanguages", std::runtime_error, "Cannot get langID: " + part);
        ids.push_back(static_cast<uint16_t>(value));
    }
    return ids;
}

std::vector<uint16_t> Locale::preferredLanguages() {
    using GetPreferred = BOOL WINAPI(DWORD, PULONG, PZZWSTR, PULONG);
    DllFunction<GetPreferred> getPreferred(Dll::system("kernel32"), "GetThreadPreferredUILanguages");
    if (!getPreferred.available()) {
        TBX_LOG_AS("Locale::preferredLanguages", LOG_INFO, "PreferredUILanguages: XP fallback");
        return fallbackLanguages(LANGIDFROMLCID(GetThreadLocale()), GetUserDefaultUILanguage(),
                                 GetSystemDefaultUILanguage());
    }
    TBX_LOG_AS("Locale::preferredLanguages", LOG_INFO, "PreferredUILanguages: Vista+");
    ULONG count = 0;
    ULONG size = 0;
    GetPreferred* call = getPreferred;
    if (!call(kPreferredLanguageFlags, &count, nullptr, &size))
        TBX_THROW_SYS_AS("Locale::preferredLanguages", "GetThreadPreferredUILanguages (detect size) failed", call,
                         GetLastError());
    std::wstring buffer(size, L'\0');
    if (!call(kPreferredLanguageFlags, &count, &buffer[0], &size))
        TBX_THROW_SYS_AS("Locale::preferredLanguages", "GetThreadPreferredUILanguages (get values) failed", call,
                         GetLastError());
    buffer.resize(size);
    return parseLanguageList(buffer);
}

Locale Locale::fromUserPreferences() { return firstSupported(preferredLanguages()); }

Locale Locale::firstSupported(const std::vector<uint16_t>& ids) {
    Locale locale = defaultLocale();
    for (uint16_t id : ids)
        if (isSupported(id, locale)) return locale;
    return defaultLocale();
}
