// The settings engine's flat call interface: a table of 32 plain functions over opaque handles.
#pragma once

#include <cstdint>
#include <string>

#include "settings/settings_exception.h"
#include "settings/settings_result.h"

namespace settings {

// Opaque handles; created and destroyed only through the table.
struct ConfigTag;
struct ValidatorTag;
struct ValidatorBuilderTag;
struct KeyMapperListTag;
struct KeyMapperBuilderTag;
using ConfigHandle = ConfigTag*;
using ValidatorHandle = ValidatorTag*;
using ValidatorBuilderHandle = ValidatorBuilderTag*;
using KeyMapperListHandle = KeyMapperListTag*;
using KeyMapperBuilderHandle = KeyMapperBuilderTag*;

// Flags of a fixed-value entry.
enum FixedValueFlags : int32_t {
    FIXED_VALUE_MATCH_CASE = 1,    // compare texts byte for byte, else case-insensitively
    FIXED_VALUE_USE_OWN_TEXT = 2,  // store the entry's own text, else the text as written
};

// One entry of setFixedValues: a word, the number it stands for, FixedValueFlags.
struct FixedValueEntry {
    const char* text;
    int32_t value;
    int32_t flags;
};

// forEachKey's callback: (handle, key count, 0-based index, key, user value).
using KeyCallback = void (*)(ConfigHandle config, int32_t count, int32_t index, const char* key,
                             void* user);

// Every operation returns a ResultCode; none lets an exception out, except createConfig when the
// runtime settings path cannot be computed (settings::Exception 200). Strings are UTF-8.
// clang-format off
struct settings_api {
    ConfigHandle (*createConfig)();                                                    // 0
    int32_t (*destroyConfig)(ConfigHandle config);                                     // 1
    int32_t (*getRuntimeFilePath)(ConfigHandle config, const char** path);             // 2
    int32_t (*loadFile)(ConfigHandle config, const char* path, ValidatorHandle validator,
                        KeyMapperListHandle mappers, int32_t stopOnError,
                        int32_t allowKeysWithoutValue);                                // 3
    int32_t (*loadText)(ConfigHandle config, const char* text, ValidatorHandle validator,
                        KeyMapperListHandle mappers, int32_t stopOnError,
                        int32_t allowKeysWithoutValue);                                // 4
    int32_t (*merge)(ConfigHandle config, ConfigHandle other);                         // 5
    int32_t (*getErrorLines)(ConfigHandle config, const int32_t** firstLine,
                             int32_t* count);                                          // 6
    int32_t (*saveFile)(ConfigHandle config, const char* path);                        // 7
    int32_t (*isEmpty)(ConfigHandle config, int32_t* empty);                           // 8
    int32_t (*equals)(ConfigHandle config, ConfigHandle other, int32_t* equal);        // 9
    int32_t (*forEachKey)(ConfigHandle config, KeyCallback callback, void* user);      // 10
    int32_t (*getString)(ConfigHandle config, const char* key, const char** value);    // 11
    int32_t (*getBool)(ConfigHandle config, const char* key, int32_t* value);          // 12
    int32_t (*getInt)(ConfigHandle config, const char* key, int32_t* value);           // 13
    int32_t (*getDouble)(ConfigHandle config, const char* key, double* value);         // 14
    int32_t (*removeKey)(ConfigHandle config, const char* key);                        // 15
    int32_t (*destroyValidator)(ValidatorHandle validator);                            // 16
    ValidatorBuilderHandle (*createValidatorBuilder)();                                // 17
    int32_t (*destroyValidatorBuilder)(ValidatorBuilderHandle builder);                // 18
    int32_t (*buildValidator)(ValidatorBuilderHandle builder, ValidatorHandle* validator);  // 19
    int32_t (*setTypeDirname)(ValidatorBuilderHandle builder, const char* key);        // 20
    int32_t (*setTypeInt)(ValidatorBuilderHandle builder, const char* key);            // 21
    int32_t (*setTypeBool)(ValidatorBuilderHandle builder, const char* key);           // 22
    int32_t (*setTypeDouble)(ValidatorBuilderHandle builder, const char* key);         // 23
    int32_t (*setAllowUnknownKeys)(ValidatorBuilderHandle builder, int32_t allow);     // 24
    int32_t (*setFixedValues)(ValidatorBuilderHandle builder, const char* key,
                              const FixedValueEntry* entries, int32_t count);          // 25
    int32_t (*setDirname)(ValidatorBuilderHandle builder, const char* key,
                          int32_t skipCheck);                                          // 26
    int32_t (*destroyKeyMapperList)(KeyMapperListHandle mappers);                      // 27
    KeyMapperBuilderHandle (*createKeyMapperBuilder)();                                // 28
    int32_t (*destroyKeyMapperBuilder)(KeyMapperBuilderHandle builder);                // 29
    int32_t (*buildMappers)(KeyMapperBuilderHandle builder, KeyMapperListHandle* mappers);  // 30
    int32_t (*addMapping)(KeyMapperBuilderHandle builder, const char* fromKey, const char* toKey,
                          int32_t caseSensitive);                                      // 31
};
// clang-format on

// Clears the table and stores the 32 operations in slot order.
void initSettingsApi(settings_api& table);

// A filled copy of the table; callers keep it by value.
settings_api getSettingsApi();

// Beside the table: the bytes saveFile would write for `config`, for a writer that puts them in place itself.
// CR LF line ends when they replace an existing file, LF for a new one. A result code; `text` is set on 0.
int32_t settingsFileText(ConfigHandle config, bool replacing, std::string& text);

}  // namespace settings
