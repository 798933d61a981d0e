// Arbitrary bytes as each kind of voice file: byte 0 picks the extension.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_image_host.h"
#include "image/voice_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kExts[] = {".R03", ".R06", ".R09", ".R12", ".R18", ".R36",
                                        ".E03", ".E06", ".E09", ".E12", ".E18", ".E36"};
    const VoiceKind* kind = FindVoiceKind(std::string("x") + kExts[data[0] % 12]);
    if (!kind) std::abort();
    ++data;
    --size;
    // E-kind files skip a 0x1000-byte header; the input goes after it, so
    // short inputs already reach the planes. Byte 0's high bit keeps the raw
    // layout, to also try files that end inside the header.
    std::vector<uint8_t> file;
    if (kind->format != kVoiceRawWords && !(data[-1] & 0x80)) file.assign(0x1000, 0xEE);
    file.insert(file.end(), data, data + size);
    std::FILE* f = fmemopen(file.data(), file.size(), "rb");
    if (!f) return 0;
    PcBuffer buf;
    const bool ok = ReadVoiceImage(f, *kind, buf);
    std::fclose(f);
    if (!ok || !buf.m_pBin) std::abort();
    const std::vector<uint16_t>& words = *buf.m_pBin;
    if (words.size() != buf.m_nBinWords) std::abort();
    switch (kind->format) {
        case kVoiceRawWords:
            if (words.size() != file.size() / 2) std::abort();
            for (size_t i = 0; i < words.size(); ++i)
                if (words[i] != (file[2 * i] | file[2 * i + 1] << 8)) std::abort();
            break;
        case kVoiceBytePerWord:
            if (words.size() != 0x4000) std::abort();
            for (size_t i = 0; i < words.size(); ++i) {
                const uint8_t low = 0x1000 + i < file.size() ? file[0x1000 + i] : 0;
                if (words[i] != (0x1100 | low)) std::abort();
            }
            break;
        default:
            if (words.size() != kind->dataBytes / 3) std::abort();
            for (uint16_t w : words)
                if (w & 0x8000) std::abort();
            // Word 0 from the first byte of each plane, missing bytes as 0.
            const size_t n = kind->dataBytes / 3;
            auto at = [&file](size_t i) { return 0x1000 + i < file.size() ? file[0x1000 + i] : 0; };
            const int w0 = (at(2 * n) & 0x1F) << 10 | (at(n) & 0x1F) << 5 | (at(0) & 0x1F);
            if (words[0] != w0) std::abort();
            break;
    }
    return 0;
}
