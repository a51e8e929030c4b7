#include "update/Version.h"

#include <cctype>
#include <limits>
#include <tuple>

namespace {

// One number as scanf's "%d" reads it: blanks skipped, an optional sign, digits. A number
// beyond the 32-bit range is refused: scanf's result for it is undefined, and in practice
// it wraps, so "2.4.4294967296" would read as 2.4.0.
bool ReadNumber(const char*& text, std::int32_t& number) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    if (!std::isdigit(static_cast<unsigned char>(*text))) {
        return false;
    }
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0);
    std::int64_t value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) {
            return false;
        }
    }
    number = static_cast<std::int32_t>(negative ? -value : value);
    return true;
}

bool ReadDot(const char*& text) {
    if (*text != '.') {
        return false;
    }
    ++text;
    return true;
}

}  // namespace

std::optional<Version> Version::Parse(const std::string& text) {
    Version version;
    const char* next = text.c_str();
    if (!ReadNumber(next, version.first) || !ReadDot(next) || !ReadNumber(next, version.second) ||
        !ReadDot(next) || !ReadNumber(next, version.third)) {
        return std::nullopt;
    }
    return version;
}

bool operator==(const Version& a, const Version& b) {
    return std::tie(a.first, a.second, a.third) == std::tie(b.first, b.second, b.third);
}

bool operator!=(const Version& a, const Version& b) {
    return !(a == b);
}

bool operator<(const Version& a, const Version& b) {
    return std::tie(a.first, a.second, a.third) < std::tie(b.first, b.second, b.third);
}
