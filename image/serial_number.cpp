#include "image/serial_number.h"

#include <algorithm>
#include <cstdio>

#include "common/split_token.h"
#include "image/pc_buffer.h"

const char kSerialRangeMessage[] =
    "S/N address exceeds the Program ROM size,\nSet to default address: 1, 2, 3, 7";
const char kSerialChipNotBlank[] = "S/N address are not blank in the OTP chip!";
const char kSerialFileNotBlank[] = "S/N address are not blank in the OTP file!";
const char kSerialWriteFailed[] = "Failed to write serial number!";
const char kSerialSaveFailed[] = "Failed to save serial number!";
const char kSerialSaveFailedBox[] =
    "The next serial number could not be saved in 'Larkspur.ini'.\n"
    "The chip has not been programmed.\n\n"
    "Check that the file is not read-only and the disk is not full,\n"
    "or turn S/N off to program without serial numbers.";

namespace {
bool IsHexStart(char c) {
    return HexDigitValue(c) >= 0;
}

// Reads hex digits from the start, stopping at the first other character.
uint32_t ReadHex(const std::string& text) {
    uint32_t v = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) break;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

const char* CheckField(const std::string& text) {
    if (text.empty()) return "Blank!";
    if (!IsHexStart(text[0])) return "Invalid serial number!";
    return nullptr;
}
}  // namespace

std::string FormatSerialLabel(uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "S/N:%08XH", static_cast<unsigned>(serial));
    return text;
}

SerialDialogTexts SerialDialogInitialTexts(const SerialNumber& sn) {
    SerialDialogTexts t;
    char text[16];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(sn.m_nSerialAddr[i]));
        t.addr[i] = text;
        std::snprintf(text, sizeof text, "%02X", SerialByte(sn.m_dwSerial, i));
        t.data[i] = text;
    }
    return t;
}

std::string ValidateSerialDialog(const SerialDialogTexts& texts, SerialDialogResult& result) {
    for (const std::string& t : texts.addr)
        if (const char* msg = CheckField(t)) return msg;
    for (const std::string& t : texts.data)
        if (const char* msg = CheckField(t)) return msg;
    SerialDialogResult r;
    for (int i = 0; i < 4; ++i) r.nAddr[i] = ReadHex(texts.addr[i]);
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (r.nAddr[i] == r.nAddr[j]) return "Address overlapped!";
    for (int i = 0; i < 4; ++i) r.dwSerial |= (ReadHex(texts.data[i]) & 0xFFu) << (8 * i);
    result = r;
    return std::string();
}

uint32_t SerialRomWords(const PcBuffer& buf) {
    if (!buf.m_pBin) return 0;
    return static_cast<uint32_t>(std::min<size_t>(buf.m_nBinWords, buf.m_pBin->size()));
}

bool CheckSerialAddresses(SerialNumber& sn, const PcBuffer& buf) {
    if (!sn.m_bSerial || !buf.m_pBin) return false;
    const uint32_t words = SerialRomWords(buf);
    bool reset = false;
    for (uint32_t a : sn.m_nSerialAddr)
        if (a >= words) reset = true;
    if (reset) std::copy(kDefaultSerialAddr, kDefaultSerialAddr + 4, sn.m_nSerialAddr);
    // An image too small even for the defaults: the words it lacks count as 0.
    for (int i = 0; i < 4; ++i)
        sn.m_wSerialSave[i] = sn.m_nSerialAddr[i] < words ? (*buf.m_pBin)[sn.m_nSerialAddr[i]] : 0;
    return reset;
}

uint16_t PatchedChecksum(SerialNumber& sn, PcBuffer& buf) {
    const uint32_t words = SerialRomWords(buf);
    std::vector<uint16_t>& bin = *buf.m_pBin;
    // Save what is there now rather than trusting an older save: the buffer
    // may have been replaced since the addresses were last checked.
    for (int i = 0; i < 4; ++i) {
        const uint32_t a = sn.m_nSerialAddr[i];
        if (a < words) sn.m_wSerialSave[i] = bin[a];
    }
    for (int i = 0; i < 4; ++i) {
        const uint32_t a = sn.m_nSerialAddr[i];
        if (a < words)
            bin[a] = static_cast<uint16_t>((bin[a] & 0xFF00u) | SerialByte(sn.m_dwSerial, i));
    }
    const uint16_t sum = BufferChecksum(buf);
    for (int i = 0; i < 4; ++i) {
        const uint32_t a = sn.m_nSerialAddr[i];
        if (a < words) bin[a] = sn.m_wSerialSave[i];
    }
    return sum;
}

bool SerialFileBlank(const SerialNumber& sn, const PcBuffer& buf) {
    const uint32_t words = SerialRomWords(buf);
    for (uint32_t a : sn.m_nSerialAddr)
        if (a < words && ((*buf.m_pBin)[a] & 0xFFu) != 0) return false;
    return true;
}
