#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/command_result.h"

// pyrocmd's output: a text line, or with --json one JSON object per line, and
// its help and version texts. Used by pyrocmd's main.

// `text` as a JSON string in quotes; broken UTF-8 becomes U+FFFD.
std::string JsonString(const std::string& text);

// Builds one JSON object; Line() closes it and ends the line.
class JsonLine {
  public:
    JsonLine& AddText(const std::string& key, const std::string& value);
    JsonLine& AddInt(const std::string& key, long long value);
    JsonLine& AddBool(const std::string& key, bool value);
    JsonLine& AddNumber(const std::string& key, double value);  // one decimal
    JsonLine& AddNull(const std::string& key);
    JsonLine& AddObjects(const std::string& key, const std::vector<JsonLine>& objects);
    JsonLine& AddTexts(const std::string& key, const std::vector<std::string>& values);
    std::string Object() const { return "{" + m_strBody + "}"; }
    std::string Line() const { return Object() + "\n"; }

  private:
    JsonLine& AddRaw(const std::string& key, const std::string& json);
    std::string m_strBody;
};

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
