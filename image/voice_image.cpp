#include "image/voice_image.h"

#include <new>
#include <vector>

#include "common/byte_order.h"
#include "common/file_io.h"
#include "image/body_table.h"
#include "image/otp_file.h"

namespace {

// Reads up to `count` bytes; a short file leaves the rest as it was.
void ReadUpTo(std::FILE* file, uint8_t* dst, size_t count) {
    size_t got = 0;
    while (got < count) {
        const size_t n = std::fread(dst + got, 1, count - got, file);
        if (n == 0) break;
        got += n;
    }
}

// The data after the header; fseek past the end just reads nothing.
void ReadData(std::FILE* file, uint8_t* dst, size_t count) {
    if (std::fseek(file, kVoiceHeaderBytes, SEEK_SET) == 0) ReadUpTo(file, dst, count);
}

}  // namespace

bool IsVoiceFile(const std::string& path) {
    return FindVoiceKind(path) != nullptr;
}

bool ReadVoiceImage(std::FILE* file, const VoiceKind& kind, PcBuffer& buf) {
    try {
        if (kind.format == kVoiceRawWords) {
            const std::vector<uint8_t> bytes = ReadRest(file);
            std::vector<uint16_t> words(bytes.size() / 2);
            for (size_t i = 0; i < words.size(); ++i) words[i] = GetLe16(&bytes[2 * i]);
            buf.m_nBinWords = static_cast<uint32_t>(words.size());
            buf.m_pBin = std::move(words);
        } else if (kind.format == kVoiceBytePerWord) {
            std::vector<uint8_t> data(kind.dataBytes, 0);
            ReadData(file, data.data(), data.size());
            // Only the first half of what is read is used: one byte per word.
            std::vector<uint16_t> words(kind.dataBytes / 2);
            for (size_t i = 0; i < words.size(); ++i)
                words[i] = static_cast<uint16_t>(0x1100 | data[i]);
            buf.m_nBinWords = static_cast<uint32_t>(words.size());
            buf.m_pBin = std::move(words);
        } else {
            std::vector<uint8_t> data(kind.dataBytes, 0);
            ReadData(file, data.data(), data.size());
            const size_t n = kind.dataBytes / 3;
            std::vector<uint16_t> words(n, 0);
            for (size_t i = 0; i < n; ++i)
                words[i] = static_cast<uint16_t>((data[2 * n + i] & 0x1F) << 10 |
                                                 (data[n + i] & 0x1F) << 5 | (data[i] & 0x1F));
            buf.m_nBinWords = static_cast<uint32_t>(n);
            buf.m_pBin = std::move(words);
        }
    } catch (const std::bad_alloc&) {
        buf.m_pBin.reset();
        return false;
    }
    buf.m_wOptWords = 0;
    buf.m_wPID = kind.pid;
    buf.m_wOID = kind.oid;
    return true;
}

ImageLoad LoadVoiceFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies) {
    buf.FreeBlocks();
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (!file) return ImageLoad().Set("Failed to open file!\r\n");
    ImageLoad load;
    const VoiceKind* kind = FindVoiceKind(path);
    if (!kind) {
        std::fclose(file);
        return load.Set("Not support the type of File!").Box("Not support the type of File!");
    }
    const bool read = ReadVoiceImage(file, *kind, buf);
    std::fclose(file);
    if (!read) return load.Set("Failed to allocate memory!");
    load.strBodyName = FindBodyName(bodies, buf.m_wPID, buf.m_wOID);
    if (load.strBodyName.empty()) {
        buf.m_pBin.reset();
        load.bForgetBody = true;
        return load.Set("Not support the type of MCU!");
    }
    load.bOk = true;
    return load;
}
