#include "image/otp_file.h"

#include <algorithm>
#include <new>

#include "common/byte_order.h"
#include "common/byte_sum.h"
#include "common/file_io.h"
#include "common/profile.h"

namespace {

// Blocks come through here so a failed allocation is a status, never a throw.
bool MakeBlock(std::optional<std::vector<uint16_t>>& block, size_t words, size_t maxWords) {
    if (words > maxWords) return false;
    try {
        block.emplace(words);
    } catch (const std::bad_alloc&) {
        block.reset();
        return false;
    }
    return true;
}

void CopyWords(const uint8_t* src, size_t count, uint16_t* dst) {
    for (size_t i = 0; i < count; ++i) dst[i] = GetLe16(src + 2 * i);
}

}  // namespace

bool ChecksumTestEnabled(const Profile& settings) {
    return settings.GetInt("setting", "checksum", 1) != 0;
}

bool RecordChecksumOk(bool testEnabled, size_t count, const uint8_t* bytes) {
    if (!testEnabled) return true;
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum == 0;
}

int ReadOtpRecord(std::FILE* file, bool checksumTest, OtpRecord& rec) {
    const int type = std::fgetc(file);
    if (type == EOF) return kOtpFileEnd;
    uint8_t len[2];
    if (std::fread(len, 1, 2, file) != 2) return kOtpRecordShort;
    const size_t length = GetLe16(len);
    std::vector<uint8_t> block;
    try {
        block.resize(3 + length);
    } catch (const std::bad_alloc&) {
        return kOtpRecordNoMemory;
    }
    block[0] = static_cast<uint8_t>(type);
    block[1] = len[0];
    block[2] = len[1];
    if (std::fread(block.data() + 3, 1, length, file) != length) return kOtpRecordShort;
    if (!RecordChecksumOk(checksumTest, block.size(), block.data())) return kOtpRecordBadSum;
    rec.bytes.swap(block);
    return kOtpRecordOk;
}

bool DecodeOtpHeader(const uint8_t* body, uint16_t length, PcBuffer& buf) {
    if (length < 4) return false;
    buf.m_wPID = GetLe16(body);
    // Whole entries before the checksum byte at L - 1 count. A header that
    // names no OID gets none, and the default option base, rather than the
    // previous image's.
    const OtpHeader h = DecodeOtpHeaderRest(buf.m_wPID, body + 2, std::max(length - 3u, 2u));
    buf.m_wOID = h.oid;
    buf.m_nBinWords = h.romWords;
    buf.m_wOptWords = h.optWords;
    buf.m_dwOptAddr = h.optionBase;
    buf.m_dwProgAddr = 0;
    return true;
}

std::string FilePidLine(uint16_t pid, uint16_t oid) {
    char text[64];
    std::snprintf(text, sizeof text, "File PID : %Xh, OID : %Xh\r\n", pid, oid);
    return text;
}

ImageLoad LoadOtpStream(std::FILE* file, PcBuffer& buf, const BodyTable& bodies, bool sumTest,
                        size_t maxBlockWords) {
    ImageLoad load;
    OtpRecord rec;
    int status = ReadOtpRecord(file, sumTest, rec);
    // An empty file holds no header, so it is no image either.
    if (status == kOtpFileEnd) return load.Set("Invalid file format!\r\n");
    if (status == kOtpRecordOk) {
        if (rec.Type() != kOtpHeaderType) return load.Set("Invalid file format!\r\n");
        if (rec.Length() < 4) {
            status = kOtpRecordShort;  // no room for PID and layout
        } else {
            DecodeOtpHeader(rec.Body(), rec.Length(), buf);
            load.strBodyName = FindBodyName(bodies, buf.m_wPID, buf.m_wOID);
            if (load.strBodyName.empty()) return load.Set("Not support the type of MCU!");
        }
    }

    bool programSeen = false;
    bool blockFailed = false;
    while (status == kOtpRecordOk) {
        status = ReadOtpRecord(file, sumTest, rec);
        if (status != kOtpRecordOk) break;
        const size_t length = rec.Length();
        if (length < 5) {  // no room for an address and a checksum
            status = kOtpRecordShort;
            break;
        }
        const uint8_t* body = rec.Body();
        const uint32_t addr = GetLe32(body);
        if (addr == buf.m_dwProgAddr) {
            if (buf.m_pBin) {
                buf.FreeBlocks();
                return load.Set("Duplicated Program Record!\r\n");
            }
            const size_t words = (length - 5) / 2;
            if (!MakeBlock(buf.m_pBin, words, maxBlockWords)) {
                blockFailed = true;
                break;
            }
            buf.m_nBinWords = static_cast<uint32_t>(words);
            CopyWords(body + 4, words, buf.m_pBin->data());
            programSeen = true;
        } else if (addr == buf.m_dwOptAddr) {
            if (buf.m_pOpt) {
                buf.FreeBlocks();
                return load.Set("Duplicated Option Record!\r\n");
            }
            const size_t words = (length - 4) / 2;
            if (!MakeBlock(buf.m_pOpt, words, maxBlockWords)) {
                blockFailed = true;
                break;
            }
            buf.m_wOptWords = static_cast<uint16_t>(words);
            CopyWords(body + 4, words, buf.m_pOpt->data());
        } else if (programSeen && addr / 2 == buf.m_nBinWords) {
            const size_t old = buf.m_pBin->size();
            const size_t add = (length - 4) / 2;
            std::optional<std::vector<uint16_t>> grown;
            if (!MakeBlock(grown, old + add, maxBlockWords)) {
                blockFailed = true;
                break;
            }
            std::copy(buf.m_pBin->begin(), buf.m_pBin->end(), grown->begin());
            CopyWords(body + 4, add, grown->data() + old);
            buf.m_pBin = std::move(grown);
            buf.m_nBinWords = static_cast<uint32_t>(old + add);
        }
    }

    load.bCheckSerial = true;
    if (blockFailed) {
        // The words loaded so far stay; the block that could not be had is not
        // written into.
        return load.Box("m_pBin=NULL").Append("Failed to allocate memory!");
    }
    switch (status) {
        case kOtpFileEnd:
            break;
        case kOtpRecordNoMemory:
            return load.Append("Failed to allocate memory!");
        case kOtpRecordBadSum:
            return load.Append("Invalid checksum for the OTP file!");
        default:
            return load.Set("Failed to read OTP file record!\r\n");
    }
    load.bOk = true;
    return load;
}

ImageLoad LoadOtpFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies,
                      bool checksumTest, size_t maxBlockWords) {
    buf.FreeBlocks();
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (!file) return ImageLoad().Set("Failed to open file!\r\n");
    ImageLoad load = LoadOtpStream(file, buf, bodies, checksumTest, maxBlockWords);
    std::fclose(file);
    return load;
}

OtpHeader OtpHeaderOfBody(const BodyRecord& body) {
    OtpHeader h;
    h.pid = static_cast<uint16_t>(body.nPID);
    h.oid = static_cast<uint16_t>(body.nOID);
    h.romWords = body.nRomWords;
    h.optWords = body.wOptWords;
    h.optionBase = body.dwOptAddr;
    return h;
}

std::vector<uint8_t> BuildOtpImage(const PcBuffer& buf, const BodyRecord& body) {
    return BuildOtpImage(buf, body, WrittenOtpHeaderForm(OtpHeaderOfBody(body)));
}

std::vector<uint8_t> BuildOtpImage(const PcBuffer& buf, const BodyRecord& body,
                                   OtpHeaderForm form) {
    std::vector<uint8_t> out = EncodeOtpHeader(OtpHeaderOfBody(body), form);

    auto putRecord = [&out](uint32_t addr, const uint16_t* words, size_t count) {
        const uint16_t length = static_cast<uint16_t>(2 * count + 5);
        uint8_t sum = 0;
        AddByteToSum(&sum, kOtpDataType);
        AddWordToSum(&sum, length);
        AddDwordToSum(&sum, addr);
        out.push_back(kOtpDataType);
        AppendLe16(out, length);
        AppendLe32(out, addr);
        for (size_t i = 0; i < count; ++i) {
            AddWordToSum(&sum, words[i]);
            AppendLe16(out, words[i]);
        }
        out.push_back(static_cast<uint8_t>(-sum));
    };

    if (buf.m_pBin && body.nRomWords != 0) {
        // Only words the block really holds go out; the header still names
        // the body's size.
        const size_t total = std::min<size_t>(body.nRomWords, buf.m_pBin->size());
        for (size_t first = 0; first < total; first += kOtpMaxDataBytes / 2) {
            const size_t count = std::min<size_t>(kOtpMaxDataBytes / 2, total - first);
            putRecord(static_cast<uint32_t>(first * 2), buf.m_pBin->data() + first, count);
        }
    }
    if (buf.m_pOpt) {
        // One record must hold them all: L is 16 bits.
        const size_t count = std::min<size_t>({body.wOptWords, buf.m_pOpt->size(), 0x7FFD});
        putRecord(body.dwOptAddr, buf.m_pOpt->data(), count);
    }
    return out;
}

bool WriteOtpFile(const std::string& path, PcBuffer& buf, const BodyRecord* driverBody) {
    if (!driverBody) return false;
    const std::vector<uint8_t> bytes = BuildOtpImage(buf, *driverBody);
    std::FILE* file = OpenFileUtf8(path, "wb");
    bool ok = file != nullptr;
    if (file) {
        ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fclose(file) == 0 && ok;
    }
    if (!ok) return false;
    buf.m_dwProgAddr = 0;
    buf.m_dwOptAddr = driverBody->dwOptAddr;
    buf.m_nBinWords = driverBody->nRomWords;
    buf.m_wOID = static_cast<uint16_t>(driverBody->nOID);
    buf.m_wOptWords = driverBody->wOptWords;
    buf.m_wPID = static_cast<uint16_t>(driverBody->nPID);
    return true;
}
