#include "core/production_log.h"

#include <cstdio>
#include <cstdlib>

#include "common/file_io.h"
#include "common/profile.h"
#include "common/split_token.h"
#include "common/utf8_text.h"
#include "writer/port_list.h"

LocalTime MakeLocalTime(const std::tm& local, const std::tm& utc) {
    LocalTime t;
    t.nYear = local.tm_year + 1900;
    t.nMonth = local.tm_mon + 1;
    t.nDay = local.tm_mday;
    t.nHour = local.tm_hour;
    t.nMinute = local.tm_min;
    t.nSecond = local.tm_sec;
    // Offsets stay within a day, so the two dates are at most one day apart.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    t.nUtcOffsetMinutes =
        (days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min;
    return t;
}

LocalTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    // The forms that fill a buffer of the caller's: writers of one run log
    // from threads of their own.
    std::tm local = {}, utc = {};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0 || gmtime_s(&utc, &now) != 0) return LocalTime();
#else
    if (!localtime_r(&now, &local) || !gmtime_r(&now, &utc)) return LocalTime();
#endif
    return MakeLocalTime(local, utc);
}

std::string FormatIsoTime(const LocalTime& t) {
    const int off = std::abs(t.nUtcOffsetMinutes);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.nYear, t.nMonth,
                  t.nDay, t.nHour, t.nMinute, t.nSecond, t.nUtcOffsetMinutes < 0 ? '-' : '+',
                  off / 60, off % 60);
    return text;
}

std::string FormatSerialText(uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%08XH", static_cast<unsigned>(serial));
    return text;
}

std::string CsvField(const std::string& text) {
    const std::string s = RepairUtf8(text);
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string LogCell(const std::string& text) {
    std::string joined = JoinLines(text, " | ");
    // Trimming leaves no tab or CR first; the sign and marker characters remain.
    if (!joined.empty() && std::string("=+-@\t\r").find(joined[0]) != std::string::npos)
        joined.insert(0, 1, '\'');
    return joined;
}

const char* SerialFateText(SerialFate fate) {
    switch (fate) {
        case SerialFate::kWritten:
            return "written";
        case SerialFate::kBurned:
            return "burned";
        case SerialFate::kUnused:
            return "unused";
        case SerialFate::kNone:
            break;
    }
    return "";
}

std::string LogFileHeader() {
    return "\xEF\xBB\xBF"
           "Time,Front end,Port,Firmware,Image,Checksum,Body,Operation,Serial number,Serial state,"
           "Result,Pass/Fail,Job,Lot,Layout " +
           std::to_string(kLogLayout) + "\r\n";
}

std::string FormatLogLine(const LogRecord& r) {
    const std::string fields[] = {
        FormatIsoTime(r.time),
        r.strFrontEnd,
        r.nPort > 0 ? PortName(r.nPort) + (r.strPosition.empty() ? "" : " (" + r.strPosition + ")")
                    : std::string(),
        r.strFirmware,
        r.strImagePath,
        r.strChecksum,
        r.strBody,
        r.strOperation,
        r.serial != SerialFate::kNone ? FormatSerialText(r.dwSerial) : std::string(),
        SerialFateText(r.serial),
        r.strResult,
        !r.bVerdict ? ""
        : r.bPass   ? "PASS"
                    : "FAIL",
        r.strJob,
        r.strLot,
        std::to_string(kLogLayout)};
    std::string line = CsvField(LogCell(fields[0]));
    for (size_t i = 1; i < sizeof fields / sizeof fields[0]; ++i)
        line += ',' + CsvField(LogCell(fields[i]));
    return line + "\r\n";
}

std::string ResolveLogPath(const std::string& value, const std::string& programDir) {
    const std::string name = TrimWhite(value);
    if (name.empty()) return name;
    const bool absolute = name[0] == '\\' || name[0] == '/' || (name.size() >= 2 && name[1] == ':');
    return absolute ? name : programDir + name;
}

std::string ReadLogPath(const Profile& profile, const std::string& programDir) {
    return ResolveLogPath(profile.GetString("Log", "File", ""), programDir);
}

std::string PendingLogPath(const std::string& logPath) {
    return logPath + ".pending";
}

ProductionLog::ProductionLog(std::string path) : m_strPath(std::move(path)) {
    if (!IsOn()) return;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(PendingLogPath(m_strPath), bytes) || bytes.empty()) return;
    // Only whole lines: a file cut by a crash loses its last line, not the log's layout.
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.rfind('\n');
    text.erase(end == std::string::npos ? 0 : end + 1);
    m_strPending = text;
    m_bFromFile = true;
}

bool ProductionLog::HasPending() const {
    const std::lock_guard<std::mutex> hold(m_mutex);
    return !m_strPending.empty();
}

int ProductionLog::KeepPending(bool& saved) {
    const std::lock_guard<std::mutex> hold(m_mutex);
    saved = true;
    if (!IsOn()) return 0;
    if (m_strPending.empty()) {
        if (m_bFromFile) saved = ReplaceLogFile(PendingLogPath(m_strPath), std::string());
        m_bFromFile = false;
        return 0;
    }
    saved = ReplaceLogFile(PendingLogPath(m_strPath), m_strPending);
    m_bFromFile = saved;
    int lines = 0;
    for (const char c : m_strPending) lines += c == '\n';
    return lines;
}

std::string ProductionLog::Append(const LogRecord& record) {
    if (!IsOn()) return std::string();
    const std::lock_guard<std::mutex> hold(m_mutex);
    const std::string line = FormatLogLine(record);
    if (AppendLogLine(m_strPath, LogFileHeader(), m_strPending + line)) {
        m_strPending.clear();
        // Those lines are in the log now: the next run must not append them again.
        if (m_bFromFile && ReplaceLogFile(PendingLogPath(m_strPath), std::string()))
            m_bFromFile = false;
        return std::string();
    }
    if (m_strPending.size() + line.size() <= kMaxPending) m_strPending += line;
    if (m_bWarned) return std::string();
    m_bWarned = true;
    return "Cannot write the log file '" + m_strPath + "'!";
}
