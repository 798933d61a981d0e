// Turns a readable chip configuration text into its stored .CFG form and back.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "optdump/cfg_scramble.h"
#include "optdump/option_source.h"

namespace {

bool WriteFile(const char* path, const void* data, size_t n) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "scramble") && std::strcmp(argv[1], "unscramble"))) {
        std::fprintf(stderr, "usage: cfgscramble scramble|unscramble INPUT OUTPUT\n");
        return 1;
    }
    std::vector<uint8_t> in;
    if (!ReadWholeFile(argv[2], in, PathCoding::Ansi)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    bool ok = false;
    if (argv[1][0] == 's') {
        const std::vector<uint8_t> out = ScrambleText(std::string(in.begin(), in.end()));
        ok = WriteFile(argv[3], out.data(), out.size());
    } else {
        std::string plain;
        if (!UnscrambleBytes(in, &plain)) {
            std::fprintf(stderr, "%s is not a valid configuration file\n", argv[2]);
            return 1;
        }
        ok = WriteFile(argv[3], plain.data(), plain.size());
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
