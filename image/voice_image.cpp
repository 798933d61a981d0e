#include "image/voice_image.h"

#include <new>
#include <vector>

#include "image/body_table.h"
#include "image/file_open.h"
#include "core/session.h"
#include "image/otp_file.h"

namespace {

const VoiceKind kKinds[] = {
    {".R03", 0xC2, 0xE0, kVoiceRawWords, 0},         {".R06", 0xD8, 0xE1, kVoiceRawWords, 0},
    {".R09", 0xD8, 0xE2, kVoiceRawWords, 0},         {".R12", 0xD8, 0xE3, kVoiceRawWords, 0},
    {".R18", 0xD8, 0xE4, kVoiceRawWords, 0},         {".R36", 0xD8, 0xE5, kVoiceRawWords, 0},
    {".E03", 0xC2, 0xE0, kVoiceBytePerWord, 0x8000}, {".E06", 0xD8, 0xE1, kVoicePlanes, 0x8400},
    {".E09", 0xD8, 0xE2, kVoicePlanes, 0xC000},      {".E12", 0xD8, 0xE3, kVoicePlanes, 0x10800},
    {".E18", 0xD8, 0xE4, kVoicePlanes, 0x18000},     {".E36", 0xD8, 0xE5, kVoicePlanes, 0x30000},
};

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

const VoiceKind* FindVoiceKind(const std::string& path) {
    // The whole path is examined, however long, so a folder named like a
    // voice file counts too.
    const std::string upper = UpperAscii(path);
    for (const VoiceKind& kind : kKinds)
        if (upper.find(kind.ext) != std::string::npos) return &kind;
    return nullptr;
}

bool IsVoiceFile(const std::string& path) {
    return FindVoiceKind(path) != nullptr;
}

bool ReadVoiceImage(std::FILE* file, const VoiceKind& kind, PcBuffer& buf) {
    try {
        if (kind.format == kVoiceRawWords) {
            const std::vector<uint8_t> bytes = ReadRest(file);
            std::vector<uint16_t> words(bytes.size() / 2);
            for (size_t i = 0; i < words.size(); ++i)
                words[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
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

bool LoadVoiceFile(const std::string& path, PcBuffer& buf, Session& session) {
    std::FILE* file = BeginImageLoad(path, buf, session);
    if (!file) return false;
    const VoiceKind* kind = FindVoiceKind(path);
    if (!kind) {
        std::fclose(file);
        session.Front().SetText(FrontText::kMessage, "Not support the type of File!");
        session.Front().PushTexts();
        session.Front().ShowBox("Not support the type of File!");
        return false;
    }
    const bool read = ReadVoiceImage(file, *kind, buf);
    std::fclose(file);
    if (!read) {
        session.Front().SetText(FrontText::kMessage, "Failed to allocate memory!");
        session.Front().PushTexts();
        return false;
    }
    const std::string name = FindBodyName(session.Bodies(), buf.m_wPID, buf.m_wOID);
    if (!name.empty() && session.SelectBodyByName(name)) return FinishImageLoad(buf, session);
    buf.m_pBin.reset();
    session.m_pBody = nullptr;
    session.Front().SetText(FrontText::kMessage, "Not support the type of MCU!");
    session.Front().PushTexts();
    return false;
}
