// The account-name encoding: only server-safe characters come out, and the encoding of a
// text is the encodings of its pieces put together, wherever it is cut.
#include "FuzzInput.h"
#include "pickup/sftp/AccountName.h"

namespace {

bool IsServerSafe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string id(reinterpret_cast<const char*>(data), size);
    const std::string name = EncodeAccountName(id);
    for (const char c : name) {
        FUZZ_CHECK(IsServerSafe(c));
    }
    FUZZ_CHECK(name.size() >= id.size());
    if (id.find_first_of("@.") == std::string::npos) {
        FUZZ_CHECK(name.size() == id.size());
    }
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    FUZZ_CHECK(name == EncodeAccountName(id.substr(0, cut)) + EncodeAccountName(id.substr(cut)));
    return 0;
}
