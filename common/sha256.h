#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Hashing and key derivation from the system's cryptography: CNG (bcrypt.dll)
// on Windows, libcrypto elsewhere. Each returns false when the system refused.

constexpr size_t kSha256Bytes = 32;

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Bytes]);
// PBKDF2 with HMAC-SHA-256 as its pseudo-random function.
bool Pbkdf2Sha256(const std::string& password, const std::vector<uint8_t>& salt,
                  uint32_t iterations, uint8_t* key, size_t keyBytes);
// Bytes from the system's random-number generator, fit for salts.
bool RandomBytes(uint8_t* out, size_t size);

// Lower-case hex of the 32 bytes; empty when the system refused.
std::string Sha256Hex(const std::string& text);
std::string HexBytes(const uint8_t* bytes, size_t size);
// False on an odd length or a character that is no hex digit.
bool ParseHexBytes(const std::string& hex, std::vector<uint8_t>& bytes);
