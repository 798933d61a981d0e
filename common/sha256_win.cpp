// The Windows half: CNG of bcrypt.dll.
#include <windows.h>
#include <bcrypt.h>

#include <climits>

#include "common/sha256.h"

namespace {
constexpr bool Ok(NTSTATUS status) {
    return status >= 0;
}

// One provider per call: these run a few times per program, never per chip.
class Algorithm {
  public:
    explicit Algorithm(ULONG flags) {
        if (!Ok(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr, flags)))
            m_handle = nullptr;
    }
    ~Algorithm() {
        if (m_handle) BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE Get() const { return m_handle; }

  private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};
}  // namespace

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Bytes]) {
    const Algorithm alg(0);
    if (!alg.Get()) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Ok(BCryptCreateHash(alg.Get(), &hash, nullptr, 0, nullptr, 0, 0))) return false;
    bool ok = true;
    // BCryptHashData takes a ULONG: big inputs go in slices.
    while (ok && size > 0) {
        const ULONG slice = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        ok = Ok(BCryptHashData(hash, const_cast<PUCHAR>(data), slice, 0));
        data += slice;
        size -= slice;
    }
    ok = ok && Ok(BCryptFinishHash(hash, digest, static_cast<ULONG>(kSha256Bytes), 0));
    BCryptDestroyHash(hash);
    return ok;
}

bool Pbkdf2Sha256(const std::string& password, const std::vector<uint8_t>& salt,
                  uint32_t iterations, uint8_t* key, size_t keyBytes) {
    if (iterations == 0 || password.size() > ULONG_MAX || salt.size() > ULONG_MAX ||
        keyBytes > ULONG_MAX)
        return false;
    const Algorithm alg(BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (!alg.Get()) return false;
    return Ok(BCryptDeriveKeyPBKDF2(
        alg.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
        static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt.data()),
        static_cast<ULONG>(salt.size()), iterations, key, static_cast<ULONG>(keyBytes), 0));
}

bool RandomBytes(uint8_t* out, size_t size) {
    if (size > ULONG_MAX) return false;
    return Ok(
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}
