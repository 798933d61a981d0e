#include "optdump/option_source.h"

#include <algorithm>
#include <cstdio>

#include "common/byte_order.h"
#include "common/file_io.h"
#include "common/text_case.h"
#include "optdump/chip_config.h"
#include "optdump/dump_host.h"

namespace {

constexpr uint8_t kHeaderType = 0xC0;
constexpr uint8_t kDataType = 0x65;
constexpr uint32_t kChainStart = 0x90000;

// One record of a type/length/body stream: `start` is its type byte, `size`
// counts type, length and body.
struct Record {
    size_t start = 0;
    size_t size = 0;
};

bool NextRecord(const std::vector<uint8_t>& f, size_t* pos, Record* r) {
    if (f.size() < 3 || *pos > f.size() - 3) return false;
    const size_t size = 3 + static_cast<size_t>(GetLe16(&f[*pos + 1]));
    if (size > f.size() - *pos) return false;
    r->start = *pos;
    r->size = size;
    *pos += size;
    return true;
}

uint8_t Sum8(const std::vector<uint8_t>& f, const Record& r) {
    uint8_t s = 0;
    for (size_t i = 0; i < r.size; ++i) s = static_cast<uint8_t>(s + f[r.start + i]);
    return s;
}

}  // namespace

uint8_t OptionSource::OptionByte(uint64_t offset) const {
    if (!optionData || offset >= optionData->size()) return 0;
    return (*optionData)[static_cast<size_t>(offset)];
}

uint16_t Sum16(const uint8_t* p, size_t n, uint16_t start) {
    uint16_t s = start;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint16_t>(s + p[i]);
    return s;
}

bool ParseOtpBytes(const std::vector<uint8_t>& f, OptionSource* src, OptDumpHost& host) {
    size_t pos = 0;
    Record head;
    // A header needs at least its PID and check byte.
    if (!NextRecord(f, &pos, &head) || head.size < 6) {
        host.ShowMessage(3, "");
        return false;
    }
    if (Sum8(f, head) != 0) {
        host.ShowMessage(2, "");
        return false;
    }
    if (f[0] != kHeaderType) {
        host.ShowMessage(3, "");
        return false;
    }
    src->fileChecksum = Sum16(&f[0], head.size);
    const uint16_t pid = GetLe16(&f[3]);
    uint32_t optAddr = 0;
    uint32_t optLen = 0;
    // Without an option area no record is taken as the option record.
    bool haveArea =
        host.QueryOptionArea(pid, &f[5], static_cast<uint32_t>(head.size - 6), &optAddr, &optLen);
    if (!haveArea) host.ShowLiteral("Internal error: INVALID_OID");
    src->optionSize = haveArea ? optLen : 0;

    uint32_t chain = kChainStart;
    bool chainStarted = false;
    Record r;
    while (NextRecord(f, &pos, &r)) {
        src->fileChecksum = Sum16(&f[r.start], r.size, src->fileChecksum);
        if (Sum8(f, r) != 0) {
            host.ShowMessage(2, "");
            return false;
        }
        // A data record needs room for its address and check byte.
        if (f[r.start] != kDataType || r.size < 8) continue;
        const uint32_t addr = GetLe32(&f[r.start + 3]);
        const uint8_t* data = &f[r.start + 7];
        const size_t dataLen = r.size - 8;
        const uint16_t dataSum = Sum16(data, dataLen);
        if (haveArea && addr == optAddr) {
            src->optionData.emplace(data, data + std::min<size_t>(dataLen, optLen));
            src->optionChecksum = dataSum;
        } else if (addr == 0 || addr == 0xC000 || addr == 0x18000 || addr == chain) {
            src->programChecksum = static_cast<uint16_t>(src->programChecksum + dataSum);
            if (addr == kChainStart) chainStarted = true;
        }
        if (chainStarted) chain += static_cast<uint32_t>(dataLen);
    }
    return true;
}

bool ReadOtpSource(const std::string& path, OptionSource* src, OptDumpHost& host) {
    src->fileName = host.UpperPath(path);
    std::vector<uint8_t> f;
    if (!ReadWholeFile(path, f, PathCoding::Ansi)) {
        host.ShowMessage(1, path);
        return false;
    }
    return ParseOtpBytes(f, src, host);
}

bool ParseCodBytes(const std::vector<uint8_t>& f, const std::string& path, OptionSource* src,
                   OptDumpHost& host) {
    if (f.size() < 18 || f[0] != 'C' || f[1] != 'D' ||
        GetLe16(&f[16]) != static_cast<uint16_t>(Sum16(f.data(), f.size()) - f[16] - f[17])) {
        host.ShowMessage(8, path);
        return false;
    }
    src->fileName = host.UpperPath(path);
    src->ideVersion = GetLe16(&f[4]);
    for (size_t i = 6; i < 16 && f[i] != 0; ++i) src->bodyName.push_back(static_cast<char>(f[i]));

    const uint16_t headerLen = GetLe16(&f[2]);
    const size_t entries = headerLen >= 32 ? (headerLen - 32u) / 10u : 0;
    bool program = false;
    bool option = false;
    for (size_t e = 0; e < entries; ++e) {
        const size_t at = 32 + 10 * e;
        if (at + 10 > f.size()) {
            host.ShowMessage(9, path);
            return false;
        }
        const uint16_t type = GetLe16(&f[at]);
        const uint32_t len = GetLe32(&f[at + 2]);
        const uint32_t off = GetLe32(&f[at + 6]);
        const bool known = type == 0xB0 || type == 0xB2 || type == 0xBA;
        if (known && static_cast<uint64_t>(off) + len > f.size()) {
            host.ShowMessage(9, path);
            return false;
        }
        if (type == 0xB0) {
            program = true;
            src->programLast = off + len - 1;
            src->programChecksum = Sum16(f.data() + off, len);
        } else if (type == 0xB2) {
            option = true;
            src->optionData.emplace(f.begin() + off, f.begin() + off + len);
            src->optionChecksum = Sum16(f.data() + off, len);
        } else if (type == 0xBA) {
            for (size_t p = off; p < static_cast<size_t>(off) + len;) {
                const size_t n = f[p];
                if (n == 0 || p + 1 + n > static_cast<size_t>(off) + len) {
                    host.ShowMessage(9, path);
                    return false;
                }
                std::string note(f.begin() + p + 1, f.begin() + p + 1 + std::min(n, kNoteChars));
                note = note.substr(0, note.find('\0'));
                src->noteLines.push_back(note);
                p += 1 + n;
            }
        }
    }
    if (!program || !option) {
        host.ShowMessage(9, path);
        return false;
    }
    src->fileChecksum = Sum16(f.data(), f.size());
    return true;
}

bool ReadCodSource(const std::string& path, OptionSource* src, OptDumpHost& host) {
    std::vector<uint8_t> f;
    if (!ReadWholeFile(path, f, PathCoding::Ansi)) {
        host.ShowMessage(1, path);
        return false;
    }
    return ParseCodBytes(f, path, src, host);
}

bool BuildOptImage(const std::vector<uint8_t>& f, std::vector<uint8_t>* image) {
    image->assign(kOptImageBytes, 0);
    size_t pos = 0;
    size_t fill = 0;
    Record r;
    bool first = true;
    while (NextRecord(f, &pos, &r)) {
        const uint8_t type = f[r.start];
        const size_t dataLen = r.size > 3 ? r.size - 4 : 0;
        const uint8_t* data = &f[r.start] + 3;
        if (first) {
            first = false;
            if (type != 'H' || dataLen < 8) return false;
            if (!EqualsNoCase(std::string(data + 1, data + 8), "hconfig")) return false;
            continue;
        }
        if (type != 'P' || dataLen <= 6) continue;
        // The image has a fixed size; bytes beyond it are dropped.
        for (size_t i = 6; i < dataLen && fill < kOptImageBytes; ++i) (*image)[fill++] = data[i];
    }
    return !first;
}

bool ReadOptSource(const std::string& path, ChipConfig* cfg, OptDumpHost& host) {
    std::vector<uint8_t> f;
    if (!ReadWholeFile(path, f, PathCoding::Ansi)) {
        host.ShowMessage(1, path);
        return false;
    }
    std::vector<uint8_t> image;
    BuildOptImage(f, &image);
    ApplyByteRule(cfg, image);
    return true;
}
