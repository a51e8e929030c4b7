#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A release number of three dotted decimal numbers, such as 2.4.1.
struct Version {
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t third = 0;

    // Reads the text as sscanf "%d.%d.%d" does: blanks before each number are skipped and
    // anything after the third number is ignored ("2.4.0-beta" is 2.4.0). Empty unless all
    // three numbers were read, or when a number lies outside the 32-bit range.
    static std::optional<Version> Parse(const std::string& text);
};

bool operator==(const Version& a, const Version& b);
bool operator!=(const Version& a, const Version& b);
// Ordered by the first number that differs.
bool operator<(const Version& a, const Version& b);
