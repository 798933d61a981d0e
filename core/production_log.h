#pragma once
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "core/command_result.h"

class Profile;

// The production log: one CSV line (RFC 4180, UTF-8) per chip operation,
// appended to the file named by [Log] File. Used by the chip operations of both
// front ends (the window and pyrocmd); pyrocmd's output uses the serial text.
// Every record is one physical line, and no cell is taken for a formula.

// The layout of the lines, named in the header; raised when columns change.
constexpr int kLogLayout = 3;

struct LocalTime {
    int nYear = 1970, nMonth = 1, nDay = 1, nHour = 0, nMinute = 0, nSecond = 0;
    int nUtcOffsetMinutes = 0;  // east of Greenwich is positive
};

LocalTime LocalTimeNow();
// The offset is what separates the two broken-down forms of one instant.
LocalTime MakeLocalTime(const std::tm& local, const std::tm& utc);
std::string FormatIsoTime(const LocalTime& t);  // "2026-12-08T09:15:02+01:00"

std::string FormatSerialText(uint32_t serial);  // "0000012AH", as in the S/N label

struct LogRecord {
    LocalTime time;
    std::string strFrontEnd;  // "Pyrograph" or "pyrocmd"
    int nPort = 0;            // COM number of the writer; 0 when none answered
    std::string strPosition;  // its gang position's name, shown beside the port; else empty
    std::string strFirmware;  // the writer's firmware version as shown, empty when unknown
    std::string strImagePath;
    std::string strChecksum;  // FormatChecksum of the image, empty without an image
    std::string strBody;
    std::string strOperation;  // the button's name: "Blank Check", "Program", "Auto", ...
    SerialFate serial = SerialFate::kNone;  // what became of the number taken
    uint32_t dwSerial = 0;
    std::string strResult;  // the text the operation showed
    bool bPass = false;
    bool bVerdict = true;  // false: the record is of no chip, Pass/Fail stays empty
    std::string strJob;    // the code of the sealed job run, empty without one
    std::string strLot;    // the lot number the run was given, empty without one
};

// Where every record of the log goes as well, whether or not [Log] File is
// set: a factory ledger's queue. It keeps the record durably and never waits
// for a server; it returns the text to show when it could not keep it.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    virtual std::string Record(const LogRecord& record) = 0;
};

// A field quoted when it holds a comma, a quote, CR or LF; quotes doubled.
std::string CsvField(const std::string& text);
// A cell as the log writes it: the lines of a text joined with " | ", and a
// text a spreadsheet would run as a formula (=, +, -, @, tab, CR first) kept
// as text by a leading apostrophe.
std::string LogCell(const std::string& text);
// "written", "burned", "unused"; empty for none.
const char* SerialFateText(SerialFate fate);
// Byte-order mark and column names: spreadsheets take a file without the mark
// for the ANSI code page and garble every name outside it.
std::string LogFileHeader();
std::string FormatLogLine(const LogRecord& r);  // ends in CR LF

// [Log] File as a path: empty when logging is off; relative names are taken
// beside the program (`programDir` ends in its separator).
std::string ResolveLogPath(const std::string& value, const std::string& programDir);
std::string ReadLogPath(const Profile& profile, const std::string& programDir);

// Platform half: opens the file at the UTF-8 `path` for appending (creating
// it), writes `header` plus `line` when it is empty or else `line`, in one write
// call, and closes it again, so a crash loses at most this line and another
// program appending at the same time cannot cut into it. False on any failure.
bool AppendLogLine(const std::string& path, const std::string& header, const std::string& line);
// Platform half: replaces the file's whole text, flushed to the disk; an empty
// text removes the file. False on any failure.
bool ReplaceLogFile(const std::string& path, const std::string& text);

// Lines a run could not write wait beside the log, for the next run to append first.
std::string PendingLogPath(const std::string& logPath);  // "production.csv.pending"

// One run's log. A file that cannot be written is reported once per run and
// never stops programming. Its lines are kept (up to kMaxPending bytes) and go
// out in order with the next line that can be written: a spreadsheet that has
// the file open keeps others from writing it only for a while.
class ProductionLog {
  public:
    // Writers of one run may append from threads of their own.
    static constexpr size_t kMaxPending = 1 << 20;
    // Lines an earlier run left in the pending file go out first.
    explicit ProductionLog(std::string path);
    bool IsOn() const { return !m_strPath.empty(); }
    // The text to show when this line is the run's first that could not be
    // written, else empty.
    std::string Append(const LogRecord& record);
    bool HasPending() const;
    // At the end of a run: the lines still not written go to the pending file
    // (or it is removed once they all went out). Returns how many wait there;
    // `saved` false when even that file could not take them.
    int KeepPending(bool& saved);
    const std::string& Path() const { return m_strPath; }

  private:
    mutable std::mutex m_mutex;
    std::string m_strPath;
    std::string m_strPending;  // lines not yet written, oldest first
    bool m_bFromFile = false;  // m_strPending began with the pending file's lines
    bool m_bWarned = false;
};
