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

// What a command (or a refusal before any chip) ended with.
struct CommandLine {
    std::string strPort;     // "COM4" in a run of several writers, else empty
    std::string strCommand;  // "program", "load", "run", ...
    std::string strText;     // the text the command showed, or why it was refused
    bool bPass = false;
    std::string strStep;    // where it failed: "program", "checksum", ...; empty for none
    bool bNumbers = false;  // a command that writes serial numbers: its number is shown
    SerialFate serial = SerialFate::kNone;
    uint32_t dwSerial = 0;
};
std::string FormatCommandLine(const CommandLine& r, bool json);

// `info`: what the image holds.
struct ImageInfo {
    std::string strFile;
    std::string strPidLine;  // the message line's "File PID : ..., OID : ..."
    uint16_t wPid = 0, wOid = 0;
    std::string strBody;  // empty: no body of the settings file has its IDs
    bool bHasRom = false;
    uint16_t wChecksum = 0;
    int nRomWords = 0;
    std::vector<uint16_t> options;
};
std::string FormatImageInfo(const ImageInfo& image, bool json);

struct ChipResult {
    std::string strPort;      // "COM4" in a run of several writers, else empty
    std::string strPosition;  // its [Ports] name, when the run named it so
    int nChip = 0;            // 1 for the first chip of the run
    SerialFate serial = SerialFate::kNone;
    uint32_t dwSerial = 0;  // the number written into this chip, or burned by it
    std::string strResult;  // the text the operation showed
    bool bPass = false;
    Step failedStep = Step::kNone;  // where a failed chip stopped
    std::string strJob;             // a sealed job's code, empty without a job
    std::string strLot;
};

struct RunSummary {
    int nPassed = 0;
    int nFailed = 0;
    double dSecondsPerChip = 0;
    double dSeconds = 0;      // the run's time from its first chip on
    std::string strPort;      // one writer's share of a run of several; empty for the total
    std::string strPosition;  // that writer's [Ports] name, if any
    std::string strDropped;   // why that writer left the run; empty when it stayed
    // The total's: why the run stopped short ("quit", "max_fails", ...); empty when it did not.
    std::string strStopped;
    bool bLog = false;    // the production log is on
    int nLogPending = 0;  // lines that wait in strPendingFile
    std::string strPendingFile;
};

// "COM4", or "COM4 (Left)" for a writer named by its position.
std::string WriterLabel(const std::string& port, const std::string& position);

std::string FormatChipResult(const ChipResult& r, bool json);
std::string FormatRunSummary(const RunSummary& s, bool json);
// A run of several writers: a line for each, then the total in the form of one.
std::string FormatGangSummary(const std::vector<RunSummary>& writers, const RunSummary& total,
                              bool json);

std::string ConsoleHelpText();
std::string ConsoleVersionText();
// A bad command line's error text with the hint to --help, for the error stream.
std::string ConsoleUsageError(const std::string& error);
