// Prints the known answers of the Windows half of the hashing, one per line,
// for the Wine test to compare with the published vectors.
#include <cstdio>
#include <string>
#include <vector>

#include "common/sha256.h"

int main() {
    std::printf("%s\n", Sha256Hex("abc").c_str());
    std::printf("%s\n",
                Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq").c_str());
    struct Case {
        const char *password, *salt;
        unsigned iterations;
        size_t bytes;
    } const cases[] = {{"passwd", "salt", 1, 64}, {"password", "salt", 4096, 32}};
    for (const Case& c : cases) {
        std::vector<uint8_t> key(c.bytes);
        const std::string salt = c.salt;
        const bool ok = Pbkdf2Sha256(c.password, std::vector<uint8_t>(salt.begin(), salt.end()),
                                     c.iterations, key.data(), key.size());
        std::printf("%s\n", ok ? HexBytes(key.data(), key.size()).c_str() : "refused");
    }
    uint8_t a[16] = {}, b[16] = {};
    const bool random = RandomBytes(a, sizeof a) && RandomBytes(b, sizeof b);
    std::printf("%s\n", random && HexBytes(a, 16) != HexBytes(b, 16) ? "random" : "not random");
    return 0;
}
