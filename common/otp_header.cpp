#include "common/otp_header.h"

#include "common/byte_order.h"
#include "common/byte_sum.h"

namespace {

constexpr uint16_t kEntryMask = 0x3FFF;  // written, never read
constexpr uint32_t kOidEntry = 0x40F0;
constexpr uint32_t kSizeEntry = 0x40F1;
constexpr int kNoSizeCode = 8;
constexpr size_t kEntryBytes = 8;

uint32_t EntryBaseOf(const ChipFamily& family) {
    return family.entryBase != 0 ? family.entryBase : kDefaultEntryBase;
}

void AppendEntry(std::vector<uint8_t>& out, uint32_t addr, uint16_t value) {
    AppendLe32(out, addr);
    AppendLe16(out, kEntryMask);
    AppendLe16(out, value);
}

}  // namespace

OtpHeader DecodeOtpHeaderRest(uint16_t pid, const uint8_t* rest, size_t count) {
    OtpHeader h;
    h.pid = pid;
    if (!rest || count < 2) return h;
    const ChipFamily& family = FamilyOf(pid);
    const uint16_t layout = GetLe16(rest);
    if (layout == 0) {
        h.oid = pid;
        h.romWords = family.fixedRomWords;
        h.optWords = family.fixedOptWords;
        return h;
    }
    if (layout != 1) return h;
    h.optionBase = family.optionBase;
    const uint32_t base = family.entryBase;
    for (size_t at = 2; at + kEntryBytes <= count; at += kEntryBytes) {
        const uint32_t addr = GetLe32(rest + at);
        const uint16_t value = GetLe16(rest + at + 6);
        if (base != 0) {
            if (addr == base + 1) h.oid = value & 0x3FF;
            if (addr == base + 2) h.romWords = value;
            if (addr == base + 3) h.romWords |= static_cast<uint32_t>(value) << 14;
            if (addr == base + 4) h.optWords = value & 0x3FFF;
        } else if (addr == kOidEntry) {
            h.oid = value;
        } else if (addr == kSizeEntry) {
            h.optWords = value & 0xFF;
            h.romWords = RomWordsOfSizeCode((value >> 8) & 0x3F);
        }
    }
    return h;
}

std::vector<uint8_t> EncodeOtpHeader(const OtpHeader& h, OtpHeaderForm form) {
    std::vector<uint8_t> out{kOtpHeaderType, 0, 0};
    AppendLe16(out, h.pid);
    if (form == OtpHeaderForm::Fixed) {
        AppendLe16(out, 0);
    } else if (form == OtpHeaderForm::Entries) {
        const uint32_t k = EntryBaseOf(FamilyOf(h.pid));
        const uint16_t values[5] = {h.pid, h.oid, static_cast<uint16_t>(h.romWords & 0x3FFF),
                                    static_cast<uint16_t>((h.romWords >> 14) & 0x3FFF), h.optWords};
        AppendLe16(out, 1);
        for (uint32_t i = 0; i < 5; ++i) AppendEntry(out, k + i, values[i]);
    } else {
        const int code = SizeCodeOfRomWords(h.romWords);
        AppendLe16(out, 1);
        AppendEntry(out, kOidEntry, h.oid);
        AppendEntry(
            out, kSizeEntry,
            static_cast<uint16_t>((code < 0 ? kNoSizeCode : code) << 8 | (h.optWords & 0xFF)));
    }
    PutLe16(&out[1], static_cast<uint16_t>(out.size() - 3 + 1));
    uint8_t sum = 0;
    AddBytesToSum(&sum, out.data(), static_cast<uint16_t>(out.size()));
    out.push_back(static_cast<uint8_t>(-sum));
    return out;
}

bool OtpHeaderFits(const OtpHeader& h, OtpHeaderForm form) {
    const std::vector<uint8_t> rec = EncodeOtpHeader(h, form);
    const OtpHeader back = DecodeOtpHeaderRest(h.pid, rec.data() + 5, rec.size() - 6);
    return back.oid == h.oid && back.romWords == h.romWords && back.optWords == h.optWords &&
           back.optionBase == h.optionBase;
}

OtpHeaderForm WrittenOtpHeaderForm(const OtpHeader& h) {
    const OtpHeaderForm own = FamilyOf(h.pid).header;
    if (own != OtpHeaderForm::Fixed || OtpHeaderFits(h, own)) return own;
    return OtpHeaderForm::SizeCode;
}
