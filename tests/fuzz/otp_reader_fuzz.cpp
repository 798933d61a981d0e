// Feeds arbitrary bytes to the .otp record reader, the header decoder and the
// whole loader. Byte 0 picks the checksum test and a block-size limit, so the
// fuzzer gets past the record checksums and reaches the allocation failures.
#include <cstdio>
#include <cstdlib>

#include "fuzz_image_host.h"
#include "image/otp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;

    PcBuffer header;
    DecodeOtpHeader(data, static_cast<uint16_t>(size > 0xFFFF ? 0xFFFF : size), header);

    const bool checksumTest = (control & 1) == 0;
    const size_t limit = (control & 2) ? (control >> 2) * 64u : SIZE_MAX;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    PcBuffer buf;
    const bool ok = LoadOtpStream(f, buf, FuzzBodies(), checksumTest, limit).bOk;
    std::fclose(f);

    // Counts describe the blocks whenever the blocks are there.
    if (buf.m_pBin && buf.m_pBin->size() != buf.m_nBinWords) std::abort();
    if (buf.m_pOpt && buf.m_pOpt->size() != buf.m_wOptWords) std::abort();
    if (buf.m_pBin && buf.m_pBin->size() > limit) std::abort();

    // What loaded writes out and reads back unchanged through its own body.
    if (ok && buf.m_pBin && buf.m_pOpt && (buf.m_wPID == 0xAD || buf.m_wPID == 0xD6)) {
        BodyRecord body;
        body.nPID = buf.m_wPID;
        body.nOID = buf.m_wOID & 0x3FF;
        body.nRomWords = buf.m_nBinWords;
        body.wOptWords = buf.m_wOptWords > 0x7FFD ? 0x7FFD : buf.m_wOptWords;
        body.dwOptAddr = buf.m_dwOptAddr;
        std::vector<uint8_t> image = BuildOtpImage(buf, body);
        std::FILE* g = fmemopen(image.data(), image.size(), "rb");
        if (!g) return 0;
        PcBuffer back;
        const bool again = LoadOtpStream(g, back, FuzzBodies(), true).bOk;
        std::fclose(g);
        if (again) {
            // An empty program block has no record to go out in.
            if (!buf.m_pBin->empty() && back.m_pBin != buf.m_pBin) std::abort();
            if (back.m_pOpt != buf.m_pOpt) std::abort();
        }
    }
    return 0;
}
