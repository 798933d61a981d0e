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

std::string FormatChipResult(const ChipResult& r, bool json) {
    const bool serial = r.serial == SerialFate::kWritten || r.serial == SerialFate::kBurned;
    const std::string number = serial ? FormatSerialText(r.dwSerial) : std::string();
    const bool burned = r.serial == SerialFate::kBurned;
    if (json) {
        JsonLine line;
        line.AddText("type", "chip").AddInt("chip", r.nChip);
        if (serial)
            line.AddText("serial", number);
        else
            line.AddNull("serial");
        if (burned) line.AddText("serial_state", SerialFateText(r.serial));
        line.AddText("result", r.strResult).AddBool("pass", r.bPass);
        if (!r.bPass && r.failedStep != Step::kNone) line.AddText("step", StepName(r.failedStep));
        return line.Line();
    }
    std::string text = "Chip " + std::to_string(r.nChip) + (r.bPass ? "  PASS  " : "  FAIL  ");
    if (serial) text += "S/N:" + number + (burned ? " (burned)  " : "  ");
    return text + JoinLines(r.strResult, " | ") + "\n";
}

std::string FormatRunSummary(const RunSummary& s, bool json) {
    if (json)
        return JsonLine()
            .AddText("type", "summary")
            .AddInt("passed", s.nPassed)
            .AddInt("failed", s.nFailed)
            .AddNumber("seconds_per_chip", s.dSecondsPerChip)
            .Line();
    char text[96];
    std::snprintf(text, sizeof text, "Passed: %d, failed: %d, %.1f s per chip\n", s.nPassed,
                  s.nFailed, std::isfinite(s.dSecondsPerChip) ? s.dSecondsPerChip : 0.0);
    return text;
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
           "\n"
           "Options:\n"
           "  --port N            use COM port N instead of searching [Setting] Ports\n"
           "  --mcu NAME          select the chip body NAME\n"
           "  --serial            write serial numbers in this run\n"
           "  --no-serial         write no serial numbers in this run\n"
           "  --no-wait           run: go on to the next chip without waiting for Enter\n"
           "  --json              print one JSON object per line instead of text\n"
           "  --help              print this text\n"
           "  --version           print the version\n"
           "\n"
           "Exit status:\n"
           "  0  all succeeded\n"
           "  1  a chip operation or a download failed\n"
           "  2  bad command line\n"
           "  3  no writer found, or the writer stopped answering\n"
           "  4  bad image: unreadable, or it cannot serve the run (serial-number\n"
           "     words not blank in the image while numbering is on)\n"
           "  6  the next serial number could not be saved in Larkspur.ini\n"
           "A run stops at the first fault of the station (3, 4, 6); chips it did not\n"
           "reach get no line.\n"
           "\n"
           "Example: program 100 chips from C:\\jobs\\a.otp with serial numbers, the writer\n"
           "on COM7, a handler swapping the chips:\n"
           "  pyrocmd run C:\\jobs\\a.otp --count 100 --port 7 --serial --no-wait\n"
           "Each chip gives a line such as\n"
           "  Chip 1  PASS  S/N:00000001H  Blank Check/Programming/Verify OK!\n"
           "and the run ends with \"Passed: 100, failed: 0, 4.2 s per chip\".\n";
}

std::string ConsoleVersionText() {
    return std::string("pyrocmd " PYRO_VERSION_TEXT " (writer protocol ") + kSoftwareVersionText +
           ")\n";
}

std::string ConsoleUsageError(const std::string& error) {
    return "pyrocmd: " + error + "\nType 'pyrocmd --help' for the usage.\n";
}
