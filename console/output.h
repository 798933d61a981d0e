#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/command_result.h"

// pyrocmd's output: a text line, or with --json one JSON object per line, and
// its help and version texts. Used by pyrocmd's main.

// Keys stay in the order they were added: "type" and "layout" come first.
using Json = nlohmann::ordered_json;
// The version of the JSON objects' layout, in every object's "layout".
constexpr int kJsonLayout = 1;

// `text` as a JSON string in quotes; broken UTF-8 becomes U+FFFD.
std::string JsonString(const std::string& text);
// A new object of this type, with the layout's version.
Json JsonObject(const char* type);
// The object on one line, ended.
std::string JsonLine(const Json& object);
// The text, or null when it is empty: a name the system or the file did not give.
Json JsonTextOrNull(const std::string& text);
// Seconds and shares to one decimal, as the text shows them; null when not finite.
Json JsonDecimal(double value);

struct ChipResult {
    std::string strPort;  // "COM4" in a run of several writers, else empty
    int nChip = 0;        // 1 for the first chip of the run
    SerialFate serial = SerialFate::kNone;
    uint32_t dwSerial = 0;  // the number written into this chip, or burned by it
    std::string strResult;  // the text the operation showed
    bool bPass = false;
    Step failedStep = Step::kNone;  // where a failed chip stopped
};

struct RunSummary {
    int nPassed = 0;
    int nFailed = 0;
    double dSecondsPerChip = 0;
    double dSeconds = 0;     // the run's time from its first chip on
    std::string strPort;     // one writer's share of a run of several; empty for the total
    std::string strDropped;  // why that writer left the run; empty when it stayed
};

std::string FormatChipResult(const ChipResult& r, bool json);
std::string FormatRunSummary(const RunSummary& s, bool json);
// A run of several writers: a line for each, then the total in the form of one.
std::string FormatGangSummary(const std::vector<RunSummary>& writers, const RunSummary& total,
                              bool json);

std::string ConsoleHelpText();
std::string ConsoleVersionText();
// A bad command line's error text with the hint to --help, for the error stream.
std::string ConsoleUsageError(const std::string& error);
