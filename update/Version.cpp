#include "update/Version.h"

#include <cstdio>
#include <tuple>

std::optional<Version> Version::Parse(const std::string& text) {
    int first = 0;
    int second = 0;
    int third = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d", &first, &second, &third) != 3) {
        return std::nullopt;
    }
    return Version{first, second, third};
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
