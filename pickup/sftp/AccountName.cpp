#include "pickup/sftp/AccountName.h"

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string EncodeAccountName(const std::string& accountId) {
    std::string name;
    name.reserve(accountId.size());
    for (const char byte : accountId) {
        const auto c = static_cast<unsigned char>(byte);
        if (IsAsciiAlnum(c) || c == '-') {
            name += byte;
        } else if (c == '@') {
            name += "_at_";
        } else if (c == '.') {
            name += "_dot_";
        } else {
            name += '_';
        }
    }
    return name;
}
