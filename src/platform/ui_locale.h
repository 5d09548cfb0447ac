// The launcher's user-interface languages: the table of supported locales and the choice among them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Locale {
public:
    struct Entry {
        uint16_t langId;
        const char* name;
        const char* altName;  // null when none
        uint16_t matchIds[4];  // ended by the first 0
    };

    // Visits table entries; visit returns false to stop the enumeration.
    class LocaleObserver {
    public:
        virtual ~LocaleObserver() = default;
        virtual bool visit(const Entry& entry) = 0;
    };

    static void forEachSupported(LocaleObserver& observer);
    // The entry whose langId is `id`; raises QmbError<std::runtime_error> for any other id.
    static Locale fromLangId(uint16_t id);
    // True, with the entry in `out`, when an entry's matchIds contain `id`.
    static bool isSupported(uint16_t id, Locale& out);
    // The user's UI languages, most preferred first.
    static std::vector<uint16_t> preferredLanguages();
    // The first preferred language that is supported, else English.
    static Locale fromUserPreferences();
    // The first of `ids` that is supported, else English.
    static Locale firstSupported(const std::vector<uint16_t>& ids);
    static Locale defaultLocale();

    uint16_t langId() const { return entry->langId; }
    const char* name() const { return entry->name; }
    const char* altName() const { return entry->altName; }

    // The fallback path of preferredLanguages, for systems without GetThreadPreferredUILanguages.
    static std::vector<uint16_t> fallbackLanguages(LANGID threadLocale, LANGID userUi, LANGID systemUi);
    // Reads the NUL-separated hexadecimal ids that GetThreadPreferredUILanguages returns.
    static std::vector<uint16_t> parseLanguageList(const std::wstring& multiString);

private:
    explicit Locale(const Entry* entry_) : entry(entry_) {}
    const Entry* entry;
};
