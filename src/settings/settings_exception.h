// The settings engine's exception and its fixed-code variants.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace settings {

// Every failure of the engine carries one of the numeric result codes of settings_result.h.
class Exception : public std::runtime_error {
public:
    explicit Exception(int32_t code_) : std::runtime_error(""), code(code_) {}
    ~Exception() override = default;

    int32_t code;
};

}  // namespace settings

namespace settings_impl {

template <int32_t N>
class ExceptionCode : public settings::Exception {
public:
    ExceptionCode() : settings::Exception(N) {}
};

}  // namespace settings_impl
