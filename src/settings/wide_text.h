// UTF-8 and wide text conversion of file names, identical in both builds.
#pragma once

#include <string>
#include <string_view>

namespace settings_impl {

// Invalid UTF-8 is settings::Exception 200.
std::wstring utf8ToWide(const std::string& text);
// Whether utf8ToWide accepts `text`, without building the wide text.
bool isConvertibleUtf8(std::string_view text);
// Unpaired surrogates are settings::Exception 200.
std::string wideToUtf8(const std::wstring& text);

}  // namespace settings_impl
