#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class OptDumpHost;
struct OptionSource;

struct ItemChoice {
    uint16_t value = 0;
    std::string text;       // at most kChoiceTextChars
    std::string shortText;  // the text in braces, at most kChoiceTextChars
    std::string condition;  // at most kConditionChars
};

struct ConfigItem {
    std::string name;  // after the percent rewrite
    std::string kind;  // as written
    uint32_t address = 0;
    uint16_t mask = 0;
    uint16_t value = 0;
    std::vector<ItemChoice> choices;
};

struct ChipConfig {
    std::string bodyName;
    uint32_t bodyValues[6] = {};
    uint32_t versionType = 0;
    bool noMaskPlugin = false;
    std::vector<ConfigItem> items;

    void Reset() { *this = ChipConfig(); }
};

constexpr size_t kChoiceTextChars = 79;
constexpr size_t kConditionChars = 199;
constexpr size_t kItemNameChars = 127;
constexpr size_t kBodyNameChars = 255;
constexpr size_t kLineChars = 255;
constexpr int kMaxComparisons = 10;

// Outcome of reading the plain configuration text; the numbers are the
// messages each failure shows.
enum class ConfigStatus { kOk = 0, kNoVersion = 5, kBadVersionType = 6, kBadBody = 7 };

// Splits plain text into lines of at most kLineChars characters (a longer line
// gives several); CR LF counts as one line end.
std::vector<std::string> SplitConfigLines(const std::string& text);
bool HasNoPluginLine(const std::vector<std::string>& lines);
// Version line and BODY section into `cfg` (bodyName, bodyValues, versionType, items).
ConfigStatus ParseConfigLines(const std::vector<std::string>& lines, ChipConfig* cfg);

// Number syntax with the H, B and O suffixes; `pos` moves past what was read.
bool ParseConfigNumber(const std::string& s, size_t* pos, uint32_t* value);
std::string RewritePercent(std::string name);

bool EvaluateCondition(const ChipConfig& cfg, const std::string& condition);

// Word rule, preceded by the OTP fold for .otp sources (which changes the
// option bytes in place).
void ComputeItemValues(ChipConfig* cfg, OptionSource* src);
// Byte rule over an option image.
void ApplyByteRule(ChipConfig* cfg, const std::vector<uint8_t>& image);

// Unscrambles, reads and removes the temporary copy; shows one message on failure.
bool LoadChipConfig(const std::string& cfgPath, ChipConfig* cfg, OptDumpHost& host);
