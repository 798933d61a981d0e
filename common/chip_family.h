#pragma once
#include <cstdint>
#include <string>

// Every rule that follows from a chip's PID (product ID), in one table: how
// an .otp header describes the chip, where its option and configuration words
// lie, what the writer's driver block is told, which chips are voice chips,
// and the PID/OID pairs that voice files imply.

// The forms of an .otp header record.
enum class OtpHeaderForm : uint8_t {
    Fixed,     // layout 0: the OID is the PID and the PID fixes the sizes
    Entries,   // layout 1: PID, OID, ROM words (two 14-bit halves), option words at a family base
    SizeCode,  // layout 1: OID at 0x40F0; ROM size code and option words at 0x40F1
};

struct ChipFamily {
    uint16_t pid;
    // The form the family's own files use, and the only one its layout-1
    // headers are read in (Fixed families read theirs as SizeCode).
    OtpHeaderForm header;
    uint32_t entryBase;        // Entries: address of the PID entry; the OID is at +1
    uint32_t optionBase;       // byte address of the option words
    uint32_t driverKind;       // chip kind in the driver block
    uint32_t chipInfoAddress;  // configuration words that Chip Info reads for this ID byte
    uint32_t fixedRomWords;    // sizes a layout-0 header gives
    uint16_t fixedOptWords;
    bool voice;  // voice chip: neither Lock nor Chip Info applies
};

// The row of `pid`; a PID the table does not list gets the row of all others.
const ChipFamily& FamilyOf(uint32_t pid);
// The row of every PID the table does not list.
const ChipFamily& OtherChipsFamily();

// Option base of every layout-0 header, whatever the PID.
constexpr uint32_t kLayout0OptionBase = 0x8000;
// Entry base this program wrote before it knew a family's own: what a family
// without an entry form gets when the entry form is asked for by name.
constexpr uint32_t kDefaultEntryBase = 0x80010;

// True when some family keeps its configuration words at `addr`.
bool IsChipInfoAddress(uint32_t addr);

// ROM words named by a SizeCode header's code; 0 for codes that name no size.
uint32_t RomWordsOfSizeCode(unsigned code);
// The code naming `romWords`, or -1 when the table has none.
int SizeCodeOfRomWords(uint32_t romWords);

// One voice-file extension and the chip it implies.
struct VoiceKind {
    const char* ext;  // upper case, with the dot
    uint16_t pid, oid;
    int format;          // kVoiceRawWords, kVoiceBytePerWord or kVoicePlanes
    uint32_t dataBytes;  // bytes read after the 0x1000-byte header (E-kind)
};
enum { kVoiceRawWords = 0, kVoiceBytePerWord = 1, kVoicePlanes = 2 };

// The kind whose extension the path contains anywhere (upper-cased), testing
// ".R03" .. ".R36" then ".E03" .. ".E36"; nullptr for none.
const VoiceKind* FindVoiceKind(const std::string& path);
