// Arbitrary bytes as each kind of voice file: byte 0 picks the extension.
#include <cstdio>
#include <cstdlib>

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
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    PcBuffer buf;
    const bool ok = ReadVoiceImage(f, *kind, buf);
    std::fclose(f);
    if (!ok || !buf.m_pBin) std::abort();
    const std::vector<uint16_t>& words = *buf.m_pBin;
    if (words.size() != buf.m_nBinWords) std::abort();
    switch (kind->format) {
        case kVoiceRawWords:
            if (words.size() != size / 2) std::abort();
            for (size_t i = 0; i < words.size(); ++i)
                if (words[i] != (data[2 * i] | data[2 * i + 1] << 8)) std::abort();
            break;
        case kVoiceBytePerWord:
            if (words.size() != 0x4000) std::abort();
            for (size_t i = 0; i < words.size(); ++i) {
                const uint8_t low = 0x1000 + i < size ? data[0x1000 + i] : 0;
                if (words[i] != (0x1100 | low)) std::abort();
            }
            break;
        default:
            if (words.size() != kind->dataBytes / 3) std::abort();
            for (uint16_t w : words)
                if (w & 0x8000) std::abort();
            break;
    }
    return 0;
}
