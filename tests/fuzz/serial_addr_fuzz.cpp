// The serial-number address list from any [Serial] section: it is saved and
// read back unchanged, shown in the dialog and taken back unchanged, checked
// against a ROM block of any size without reading past it, and the checksum
// with the number patched in leaves the buffer as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/session_settings.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "common/memory_profile.h"

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void CheckDialog(const SerialSettings& s) {
    SerialNumber sn;
    sn.m_bSerial = true;
    sn.m_dwSerial = s.dwData;
    std::memcpy(sn.m_nSerialAddr, s.nAddr, sizeof sn.m_nSerialAddr);
    const uint32_t serial = sn.m_dwSerial;
    const uint32_t* addr = sn.m_nSerialAddr;
    SerialDialogResult r;
    const std::string msg = ValidateSerialDialog(SerialDialogInitialTexts(sn), r);
    bool overlap = false;
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) overlap |= addr[i] == addr[j];
    if (overlap) {
        if (msg != "Address overlapped!") std::abort();
        return;
    }
    if (!msg.empty() || r.dwSerial != serial) std::abort();
    for (int i = 0; i < 4; ++i)
        if (r.nAddr[i] != addr[i]) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const bool serialOn = data[0] & 1;
    const bool haveOpt = data[0] & 2;
    // Enough words to put the default addresses inside and outside the block.
    const uint16_t blockWords = Le16(data + 1) & 0x1FF;
    const uint16_t countWords = Le16(data + 3);
    const std::string text(reinterpret_cast<const char*>(data + 5), size - 5);

    // "key=value" lines of the [Serial] section.
    MemoryProfile profile;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            profile.WriteString("Serial", line.substr(0, eq), line.substr(eq + 1));
        pos = end + 1;
    }
    const SerialSettings read = ReadSerialSettings(profile);

    // Saved at exit and read at the next start, every address and number unchanged.
    MemoryProfile next;
    WriteSerialSettings(next, read);
    const SerialSettings back = ReadSerialSettings(next);
    if (back.bEnable || back.dwData != read.dwData ||
        std::memcmp(back.nAddr, read.nAddr, sizeof read.nAddr) != 0)
        std::abort();

    CheckDialog(read);

    // The buffer: a ROM block whose stored count may differ from its length.
    PcBuffer buf;
    buf.m_pBin.emplace(blockWords);
    for (uint16_t i = 0; i < blockWords; ++i)
        (*buf.m_pBin)[i] = static_cast<uint16_t>(i * 0x9E37u + (data[0] << 8));
    buf.m_nBinWords = countWords;
    if (haveOpt) {
        buf.m_pOpt.emplace(4, 0x1234);
        buf.m_wOptWords = 4;
    }
    const PcBuffer original = buf;
    const uint32_t words = SerialRomWords(buf);
    if (words > blockWords || words > countWords) std::abort();

    SerialNumber sn;
    sn.m_bSerial = serialOn;
    sn.m_dwSerial = read.dwData;
    std::memcpy(sn.m_nSerialAddr, read.nAddr, sizeof sn.m_nSerialAddr);
    for (uint16_t& w : sn.m_wSerialSave) w = 0xDEAD;
    const uint32_t serial = sn.m_dwSerial;
    const uint32_t* addr = sn.m_nSerialAddr;
    const uint16_t* saved = sn.m_wSerialSave;
    const bool reset = CheckSerialAddresses(sn, buf);
    bool outside = false;
    for (uint32_t a : read.nAddr) outside |= a >= words;
    if (!serialOn) {
        if (reset || std::memcmp(addr, read.nAddr, sizeof read.nAddr) != 0 || saved[0] != 0xDEAD)
            std::abort();
    } else {
        if (reset != outside) std::abort();
        for (int i = 0; i < 4; ++i) {
            if (addr[i] != (reset ? kDefaultSerialAddr[i] : read.nAddr[i])) std::abort();
            if (saved[i] != (addr[i] < words ? (*buf.m_pBin)[addr[i]] : 0)) std::abort();
        }
    }

    // The patched checksum is the plain checksum of a copy with the low bytes
    // replaced, and the buffer itself comes back unchanged.
    PcBuffer patched = buf;
    for (int i = 0; i < 4; ++i)
        if (addr[i] < words)
            (*patched.m_pBin)[addr[i]] = static_cast<uint16_t>(
                ((*patched.m_pBin)[addr[i]] & 0xFF00u) | SerialByte(serial, i));
    if (PatchedChecksum(sn, buf) != BufferChecksum(patched)) std::abort();
    if (buf.m_pBin != original.m_pBin || buf.m_pOpt != original.m_pOpt) std::abort();
    for (int i = 0; i < 4; ++i)
        if (addr[i] < words && saved[i] != (*buf.m_pBin)[addr[i]]) std::abort();
    return 0;
}
