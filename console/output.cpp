#include "console/output.h"

#include <cmath>
#include <cstdio>

#include "common/split_token.h"
#include "common/utf8_text.h"
#include "core/production_log.h"
#include "pyro_version.h"
#include "writer/protocol.h"

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : RepairUtf8(text)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(c));
                    out += esc;
                } else {
                    out += c;
                }
        }
    }
    return out + '"';
}

JsonLine& JsonLine::AddRaw(const std::string& key, const std::string& json) {
    if (!m_strBody.empty()) m_strBody += ',';
    m_strBody += JsonString(key) + ':' + json;
    return *this;
}

JsonLine& JsonLine::AddText(const std::string& key, const std::string& value) {
    return AddRaw(key, JsonString(value));
}

JsonLine& JsonLine::AddInt(const std::string& key, long long value) {
    return AddRaw(key, std::to_string(value));
}

JsonLine& JsonLine::AddBool(const std::string& key, bool value) {
    return AddRaw(key, value ? "true" : "false");
}

JsonLine& JsonLine::AddNumber(const std::string& key, double value) {
    // JSON has no infinity or NaN.
    if (!std::isfinite(value)) return AddNull(key);
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", value);
    return AddRaw(key, text);
}

JsonLine& JsonLine::AddNull(const std::string& key) {
    return AddRaw(key, "null");
}

JsonLine& JsonLine::AddObjects(const std::string& key, const std::vector<JsonLine>& objects) {
    std::string json = "[";
    for (const JsonLine& o : objects) json += (json.size() > 1 ? "," : "") + o.Object();
    return AddRaw(key, json + "]");
}

JsonLine& JsonLine::AddTexts(const std::string& key, const std::vector<std::string>& values) {
    std::string json = "[";
    for (const std::string& v : values) json += (json.size() > 1 ? "," : "") + JsonString(v);
    return AddRaw(key, json + "]");
}

std::string FormatChipResult(const ChipResult& r, bool json) {
    const bool serial = r.serial == SerialFate::kWritten || r.serial == SerialFate::kBurned;
    const std::string number = serial ? FormatSerialText(r.dwSerial) : std::string();
    const bool burned = r.serial == SerialFate::kBurned;
    if (json) {
        JsonLine line;
        line.AddText("type", "chip");
        if (!r.strPort.empty()) line.AddText("port", r.strPort);
        line.AddInt("chip", r.nChip);
        if (serial)
            line.AddText("serial", number);
        else
            line.AddNull("serial");
        if (burned) line.AddText("serial_state", SerialFateText(r.serial));
        line.AddText("result", r.strResult).AddBool("pass", r.bPass);
        if (!r.bPass && r.failedStep != Step::kNone) line.AddText("step", StepName(r.failedStep));
        return line.Line();
    }
    std::string text = (r.strPort.empty() ? "" : r.strPort + "  ") + "Chip " +
                       std::to_string(r.nChip) + (r.bPass ? "  PASS  " : "  FAIL  ");
    if (serial) text += "S/N:" + number + (burned ? " (burned)  " : "  ");
    return text + JoinLines(r.strResult, " | ") + "\n";
}

namespace {
// `type` is named first when given: the summary line itself, not one of its writers.
JsonLine SummaryObject(const RunSummary& s, const char* type = nullptr) {
    JsonLine line;
    if (type) line.AddText("type", type);
    if (!s.strPort.empty()) line.AddText("port", s.strPort);
    line.AddInt("passed", s.nPassed).AddInt("failed", s.nFailed);
    line.AddNumber("seconds_per_chip", s.dSecondsPerChip);
    if (!s.strPort.empty()) {
        if (s.strDropped.empty())
            line.AddNull("dropped");
        else
            line.AddText("dropped", s.strDropped);
    }
    return line;
}

std::string SummaryText(const RunSummary& s) {
    char text[96];
    std::snprintf(text, sizeof text, "Passed: %d, failed: %d, %.1f s per chip", s.nPassed,
                  s.nFailed, std::isfinite(s.dSecondsPerChip) ? s.dSecondsPerChip : 0.0);
    std::string line = (s.strPort.empty() ? "" : s.strPort + "  ") + text;
    if (!s.strDropped.empty()) line += ", dropped: " + s.strDropped;
    return line + "\n";
}
}  // namespace

std::string FormatRunSummary(const RunSummary& s, bool json) {
    return json ? SummaryObject(s, "summary").Line() : SummaryText(s);
}

std::string FormatGangSummary(const std::vector<RunSummary>& writers, const RunSummary& total,
                              bool json) {
    if (json) {
        std::vector<JsonLine> each;
        for (const RunSummary& w : writers) each.push_back(SummaryObject(w));
        return SummaryObject(total, "summary").AddObjects("writers", each).Line();
    }
    std::string text;
    for (const RunSummary& w : writers) text += SummaryText(w);
    return text + SummaryText(total);
}

std::string ConsoleHelpText() {
    return "Usage: pyrocmd COMMAND [OPTIONS]\n"
           "\n"
           "Drives the writer from the console with the settings of Larkspur.ini beside\n"
           "the program, as Pyrograph.exe does.\n"
           "\n"
           "Commands:\n"
           "  detect              find the writer, print its port and versions\n"
           "  info FILE           load an image, print its body, checksum, ROM and option words\n"
           "  download FILE       load an image and download it to the writer\n"
           "  blank               blank-check the chip in the socket\n"
           "  program FILE        download FILE, then program the chip\n"
           "  verify FILE         download FILE, then verify the chip against it\n"
           "  lock                lock the chip\n"
           "  auto FILE           download FILE, then run the Auto pass of [Auto]\n"
           "  chipinfo            print the identity of the chip in the socket\n"
           "  run FILE --count N  download FILE once, then an Auto pass on each of N chips\n"
           "  ports               list the COM ports present on this PC\n"
           "\n"
           "Options:\n"
           "  --port N            use COM port N (7 or COM7) instead of searching [Setting] Ports\n"
           "  --ports N,M,...     run: one writer on each port, N chips in all, side by side\n"
           "  --mcu NAME          select the chip body NAME\n"
           "  --serial            write serial numbers in this run\n"
           "  --no-serial         write no serial numbers in this run\n"
           "  --no-wait           run: go on to the next chip without waiting for Enter\n"
           "  --checksum XXXX     run: refuse an image whose checksum is not XXXX (hex)\n"
           "  --probe             ports: ask each port whether a writer answers, and its version\n"
           "  --json              print one JSON object per line instead of text\n"
           "  --help              print this text\n"
           "  --version           print the version\n"
           "\n"
           "Exit status:\n"
           "  0  all succeeded\n"
           "  1  a chip operation or a download failed\n"
           "  2  bad command line\n"
           "  3  no writer found, or the writer stopped answering (ports --probe: on no port)\n"
           "  4  bad image: unreadable, not the --checksum asked for, or it cannot serve\n"
           "     the run (serial-number words not blank in the image while numbering is on)\n"
           "  5  the serial numbers up to [Serial] End are used up\n"
           "  6  the next serial number could not be saved in Larkspur.ini\n"
           "  130  interrupted with Ctrl+C (the chips under way were finished)\n"
           "A run stops at the first fault of the station (3, 4, 5, 6); chips it did not\n"
           "reach get no line. With --ports, a writer that stops answering leaves the run\n"
           "and the others go on (exit 1); when none is left, the exit status is 3.\n"
           "\n"
           "Example: program 100 chips from C:\\jobs\\a.otp with serial numbers, the writer\n"
           "on COM7, a handler swapping the chips:\n"
           "  pyrocmd run C:\\jobs\\a.otp --count 100 --port 7 --serial --no-wait\n"
           "Each chip gives a line such as\n"
           "  Chip 1  PASS  S/N:00000001H  Blank Check/Programming/Verify OK!\n"
           "and the run ends with \"Passed: 100, failed: 0, 4.2 s per chip\".\n"
           "With --ports 3,4 each line begins with its writer's port, as in\n"
           "  COM4  Chip 7  PASS  S/N:00000007H  Blank Check/Programming/Verify OK!\n";
}

std::string ConsoleVersionText() {
    return std::string("pyrocmd " PYRO_VERSION_TEXT " (writer protocol ") + kSoftwareVersionText +
           ")\n";
}

std::string ConsoleUsageError(const std::string& error) {
    return "pyrocmd: " + error + "\nType 'pyrocmd --help' for the usage.\n";
}
