#include "common/sha256.h"

std::string Sha256Hex(const std::string& text) {
    uint8_t digest[kSha256Bytes];
    if (!Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size(), digest)) return "";
    return HexBytes(digest, sizeof digest);
}

std::string HexBytes(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

namespace {
int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool ParseHexBytes(const std::string& hex, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = Nibble(hex[i]), lo = Nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            bytes.clear();
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}
