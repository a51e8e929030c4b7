#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "pickup/sftp/KnownHosts.h"

std::string HmacSha1(const std::string& key, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
             &length) == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}
