#pragma once
#include <cstdint>
#include <string>

struct PcBuffer;

constexpr uint32_t kDefaultSerialAddr[4] = {1, 2, 3, 7};

// Serial numbering as the session keeps it.
struct SerialNumber {
    bool m_bSerial = false;
    uint32_t m_dwSerial = 0;
    uint32_t m_nSerialAddr[4] = {kDefaultSerialAddr[0], kDefaultSerialAddr[1],
                                 kDefaultSerialAddr[2], kDefaultSerialAddr[3]};
    uint16_t m_wSerialSave[4] = {};
};

extern const char kSerialRangeMessage[];
extern const char kSerialChipNotBlank[];
extern const char kSerialFileNotBlank[];
extern const char kSerialWriteFailed[];
extern const char kSerialSaveFailed[];
extern const char kSerialSaveFailedBox[];

// Byte i (0 = least significant) of a serial number.
inline uint8_t SerialByte(uint32_t serial, int i) {
    return static_cast<uint8_t>(serial >> (8 * i));
}
// The number after `serial`, wrapping at 32 bits.
inline uint32_t NextSerial(uint32_t serial) {
    return serial + 1u;
}
// "S/N:%08XH"
std::string FormatSerialLabel(uint32_t serial);

// The eight texts of the Serial Number dialog: addresses of byte 0 - 3,
// then data of byte 0 - 3.
struct SerialDialogTexts {
    std::string addr[4];
    std::string data[4];
};
struct SerialDialogResult {
    uint32_t nAddr[4] = {};
    uint32_t dwSerial = 0;
};
// Fills the dialog's texts from the current setup ("%X" and "%02X").
SerialDialogTexts SerialDialogInitialTexts(const SerialNumber& sn);
// Validates like the dialog's OK: returns the message to show at the first
// failure, or an empty text with `result` filled.
std::string ValidateSerialDialog(const SerialDialogTexts& texts, SerialDialogResult& result);

// Number of ROM words that may be read and patched: the stored words, never
// more than the block really holds.
uint32_t SerialRomWords(const PcBuffer& buf);

// Range check and save of the four words (only with numbering on and a ROM
// block). Returns true when the addresses had to fall back to 1, 2, 3, 7; the
// caller then shows kSerialRangeMessage. Words beyond the block are saved as 0.
bool CheckSerialAddresses(SerialNumber& sn, const PcBuffer& buf);

// Checksum of the buffer with the number written into the low bytes of its
// four words. The buffer is patched and then given back exactly the words it
// held, which also become the saved words. Addresses outside the block are
// left out. Needs m_pBin.
uint16_t PatchedChecksum(SerialNumber& sn, PcBuffer& buf);

// True when the buffer leaves the number room: the low bytes of its words at
// the four addresses are 0. Addresses beyond the ROM block have no word and pass.
bool SerialFileBlank(const SerialNumber& sn, const PcBuffer& buf);
