// Result codes of the settings API and the codes carried by settings::Exception.
#pragma once

#include <cstdint>

namespace settings {

// clang-format off
enum ResultCode : int32_t {
    RESULT_OK = 0,
    RESULT_UNEXPECTED = 200,           // a system service or an unexpected exception failed
    RESULT_NULL_ARGUMENT = 300,        // a required pointer argument is null
    RESULT_NO_VALUE = 301,             // the key has no value, or a value of another type
    RESULT_BAD_TEXT = 302,             // bad UTF-8, or not a number or boolean
    RESULT_KEY_MISSING = 303,          // the key is not in the configuration
    RESULT_CANNOT_OPEN = 304,          // the file cannot be opened or created
    RESULT_NO_PERMISSION = 305,        // the file is there but may not be read
    RESULT_INCOMPLETE_WRITE = 306,     // the file was not written completely
    RESULT_READ_ERROR = 307,
    RESULT_NAME_TOO_LONG = 310,        // file name of 260 bytes or more
    RESULT_INVALID_PATH = 311,
    RESULT_NAME_NOT_UTF8 = 312,
    RESULT_TEXT_HAD_ERRORS = 313,      // the loaded text had errors (see getErrorLines)
    RESULT_TEXT_NOT_UTF8 = 314,
    RESULT_FILE_TOO_LONG = 315,        // file of 1,048,576 bytes or more
};
// clang-format on

}  // namespace settings
