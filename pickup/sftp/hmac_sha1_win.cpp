// Windows' own crypto (CNG): the SSH library's crypto is linked in but keeps its HMAC to
// itself.
#include <winsock2.h>  // before windows.h, as the SSH library's headers need

#include <windows.h>

#include <bcrypt.h>

#include "pickup/sftp/KnownHosts.h"

namespace {

class Algorithm {
public:
    Algorithm() {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA1_ALGORITHM, nullptr,
                                                        BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
            handle = nullptr;
        }
    }
    ~Algorithm() {
        if (handle != nullptr) {
            BCryptCloseAlgorithmProvider(handle, 0);
        }
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;

    BCRYPT_ALG_HANDLE handle = nullptr;
};

class Hash {
public:
    Hash(BCRYPT_ALG_HANDLE algorithm, const std::string& key) {
        std::string secret = key;
        if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &handle, nullptr, 0,
                                             reinterpret_cast<PUCHAR>(&secret[0]),
                                             static_cast<ULONG>(secret.size()), 0))) {
            handle = nullptr;
        }
    }
    ~Hash() {
        if (handle != nullptr) {
            BCryptDestroyHash(handle);
        }
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    BCRYPT_HASH_HANDLE handle = nullptr;
};

}  // namespace

std::string HmacSha1(const std::string& key, const std::string& data) {
    const Algorithm algorithm;
    if (algorithm.handle == nullptr || key.empty()) {
        return std::string();
    }
    const Hash hash(algorithm.handle, key);
    std::string input = data;
    unsigned char digest[20];
    if (hash.handle == nullptr ||
        !BCRYPT_SUCCESS(BCryptHashData(hash.handle, reinterpret_cast<PUCHAR>(&input[0]),
                                       static_cast<ULONG>(input.size()), 0)) ||
        !BCRYPT_SUCCESS(BCryptFinishHash(hash.handle, digest, sizeof digest, 0))) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}
