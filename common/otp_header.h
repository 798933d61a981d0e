#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/chip_family.h"

// The header record of an .otp file, read and written by one set of rules:
// type 0xC0, a 16-bit length L, then PID, layout and entries, check byte last.
constexpr uint8_t kOtpHeaderType = 0xC0;

// What a header says about the chip and where the reader then finds its words.
struct OtpHeader {
    uint16_t pid = 0;
    uint16_t oid = 0;
    uint32_t romWords = 0;
    uint16_t optWords = 0;
    uint32_t optionBase = kLayout0OptionBase;
};

// Decodes the header body after its PID: `rest` holds `count` bytes, layout
// word first, check byte excluded. An entry cut off by the end is not read; a
// layout other than 0 and 1 names no OID and no sizes.
OtpHeader DecodeOtpHeaderRest(uint16_t pid, const uint8_t* rest, size_t count);

// True when a header of `form` reads back as exactly `h`.
bool OtpHeaderFits(const OtpHeader& h, OtpHeaderForm form);
// The form this program writes: the family's own when it fits (a Fixed family
// falls back to SizeCode), which is the form its headers are read in.
OtpHeaderForm WrittenOtpHeaderForm(const OtpHeader& h);

// The whole header record in `form`. Values a form cannot hold are cut to
// its fields: SizeCode names "no size" for a ROM size outside its table.
std::vector<uint8_t> EncodeOtpHeader(const OtpHeader& h, OtpHeaderForm form);
