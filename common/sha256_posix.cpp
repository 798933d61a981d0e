// The native half: OpenSSL's libcrypto.
#ifndef _WIN32
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "common/sha256.h"

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Bytes]) {
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
           length == kSha256Bytes;
}

bool Pbkdf2Sha256(const std::string& password, const std::vector<uint8_t>& salt,
                  uint32_t iterations, uint8_t* key, size_t keyBytes) {
    if (iterations == 0 || iterations > INT_MAX || password.size() > INT_MAX ||
        salt.size() > INT_MAX || keyBytes > INT_MAX)
        return false;
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), static_cast<int>(iterations),
                             EVP_sha256(), static_cast<int>(keyBytes), key) == 1;
}

bool RandomBytes(uint8_t* out, size_t size) {
    return size <= INT_MAX && RAND_bytes(out, static_cast<int>(size)) == 1;
}
#endif
