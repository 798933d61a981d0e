#include "optdump/cfg_scramble.h"

#include <cstdio>

#include "common/file_io.h"
#include "optdump/option_source.h"

namespace {

uint8_t RotateLeft(uint8_t b, unsigned n) {
    n &= 7;
    return n == 0 ? b : static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

uint8_t RotateRight(uint8_t b, unsigned n) {
    return RotateLeft(b, (8 - (n & 7)) & 7);
}

}  // namespace

bool UnscrambleBytes(const std::vector<uint8_t>& stored, std::string* plain) {
    plain->clear();
    // The mark, the check character and at least one text byte.
    if (stored.size() < 5) return false;
    if (stored[0] != 'C' || stored[1] != 'F' || stored[2] != 'G') return false;
    uint8_t sum = static_cast<uint8_t>(stored[3] - '0');
    plain->reserve(stored.size() - 4);
    unsigned shift = 3;
    for (size_t i = 4; i < stored.size(); ++i) {
        const uint8_t b = stored[i];
        plain->push_back(static_cast<char>(RotateLeft(b, shift)));
        shift = b % 8;
        sum = static_cast<uint8_t>(sum + b);
    }
    if (sum != 0) {
        plain->clear();
        return false;
    }
    return true;
}

std::vector<uint8_t> ScrambleText(const std::string& plain) {
    std::vector<uint8_t> out = {'C', 'F', 'G', '0'};
    uint8_t sum = 0;
    unsigned shift = 3;
    for (char c : plain) {
        const uint8_t b = RotateRight(static_cast<uint8_t>(c), shift);
        out.push_back(b);
        shift = b % 8;
        sum = static_cast<uint8_t>(sum + b);
    }
    out[3] = static_cast<uint8_t>('0' - sum);
    return out;
}

bool UnscrambleConfig(const std::string& cfgPath, const std::string& plainPath) {
    std::vector<uint8_t> stored;
    if (!ReadWholeFile(cfgPath, stored, PathCoding::Ansi)) return false;
    std::string plain;
    if (!UnscrambleBytes(stored, &plain)) return false;
    FILE* f = std::fopen(plainPath.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(plain.data(), 1, plain.size(), f) == plain.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}
