#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class OptDumpHost;
struct ChipConfig;

enum class SourceKind { kNone, kOtp, kCod, kOpt };

// What one export read from its image file; reset at the start of every call.
struct OptionSource {
    std::string fileName;
    std::string bodyName;
    uint16_t ideVersion = 0;
    uint16_t fileChecksum = 0;
    uint16_t programChecksum = 0;
    uint32_t programLast = 0;
    uint16_t optionChecksum = 0;
    std::optional<std::vector<uint8_t>> optionData;
    // .otp only: option length in bytes named by the header (0 when unknown).
    uint32_t optionSize = 0;
    std::vector<std::string> noteLines;
    SourceKind kind = SourceKind::kNone;

    void Reset() { *this = OptionSource(); }
    // Option byte at `offset`; bytes the image does not hold read as 0.
    uint8_t OptionByte(uint64_t offset) const;
};

// Sizes that stored formats and the report fix.
constexpr size_t kNoteChars = 79;
constexpr size_t kOptImageBytes = 1024;

uint16_t Sum16(const uint8_t* p, size_t n, uint16_t start = 0);

// Each reader shows its own message and returns false on failure.
bool ReadOtpSource(const std::string& path, OptionSource* src, OptDumpHost& host);
bool ReadCodSource(const std::string& path, OptionSource* src, OptDumpHost& host);
// Sets every item value of `cfg` from the .opt file (byte rule); on failure the
// values stay as they are.
bool ReadOptSource(const std::string& path, ChipConfig* cfg, OptDumpHost& host);

// The same readers over bytes already in memory (no file, no open message).
bool ParseOtpBytes(const std::vector<uint8_t>& file, OptionSource* src, OptDumpHost& host);
bool ParseCodBytes(const std::vector<uint8_t>& file, const std::string& path, OptionSource* src,
                   OptDumpHost& host);
// Builds the 1024-byte option image of an .opt file; false when its first
// record is not the configuration header (the image is then all zeros).
bool BuildOptImage(const std::vector<uint8_t>& file, std::vector<uint8_t>* image);
