// Release numbers: parsing never fails on any text, a parsed number written out reads back
// the same, and the order is a strict weak order (irreflexive, antisymmetric, transitive,
// consistent with ==) on three fuzzed numbers.
#include <optional>

#include "FuzzInput.h"
#include "update/Version.h"

namespace {

std::string Text(const Version& v) {
    return std::to_string(v.first) + "." + std::to_string(v.second) + "." + std::to_string(v.third);
}

void CheckPair(const Version& a, const Version& b) {
    FUZZ_CHECK(!(a < b && b < a));
    FUZZ_CHECK((a == b) == (!(a < b) && !(b < a)));
    FUZZ_CHECK((a == b) != (a != b));
    FUZZ_CHECK((a == b) == (b == a));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<Version> versions;
    for (const std::string& text : SplitInput(data, size, '\n', 3)) {
        const std::optional<Version> parsed = Version::Parse(text);
        if (!parsed) {
            continue;
        }
        const std::optional<Version> again = Version::Parse(Text(*parsed));
        FUZZ_CHECK(again && *again == *parsed);
        FUZZ_CHECK(!(*parsed < *parsed));
        versions.push_back(*parsed);
    }
    for (const Version& a : versions) {
        for (const Version& b : versions) {
            CheckPair(a, b);
            for (const Version& c : versions) {
                FUZZ_CHECK(!(a < b && b < c) || a < c);
                FUZZ_CHECK(!(a == b && b == c) || a == c);
            }
        }
    }
    return 0;
}
