#include "console/output.h"

#include <cmath>
#include <cstdio>

#include "common/split_token.h"
#include "common/utf8_text.h"
#include "core/production_log.h"
#include "image/pc_buffer.h"
#include "pyro_version.h"
#include "writer/protocol.h"

std::string JsonString(const std::string& text) {
    // Repaired as the log's cells are, so both read back the same.
    return Json(RepairUtf8(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json JsonObject(const char* type) {
    Json o = Json::object();
    o["type"] = type;
    o["layout"] = kJsonLayout;
    return o;
}

std::string JsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json JsonTextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

Json JsonDecimal(double value) {
    // JSON has no infinity or NaN.
    if (!std::isfinite(value)) return nullptr;
    return std::round(value * 10) / 10;
}

std::string WriterLabel(const std::string& port, const std::string& position) {
    return position.empty() ? port : port + " (" + position + ")";
}

namespace {
// The number a chip got, in text: "S/N:0000002AH  " or "S/N:0000002AH (burned)  ".
std::string SerialText(SerialFate fate, uint32_t serial) {
    if (fate != SerialFate::kWritten && fate != SerialFate::kBurned) return std::string();
    return "S/N:" + FormatSerialText(serial) + (fate == SerialFate::kBurned ? " (burned)  " : "  ");
}

void SerialFields(SerialFate fate, uint32_t serial, Json& line) {
    const bool taken = fate == SerialFate::kWritten || fate == SerialFate::kBurned;
    line["serial"] = taken ? Json(serial) : Json(nullptr);
    if (fate == SerialFate::kBurned) line["serial_state"] = SerialFateText(fate);
}

std::string HexWords(const std::vector<uint16_t>& words) {
    std::string out;
    for (const uint16_t w : words) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", w);
        out += text;
    }
    return out;
}
}  // namespace

std::string FormatCommandLine(const CommandLine& r, bool json) {
    if (json) {
        Json line = JsonObject("result");
        if (!r.strPort.empty()) line["port"] = r.strPort;
        line["command"] = r.strCommand;
        if (r.bNumbers) SerialFields(r.serial, r.dwSerial, line);
        line["result"] = TrimWhite(r.strText);
        line["pass"] = r.bPass;
        if (!r.bPass && !r.strStep.empty()) line["step"] = r.strStep;
        return JsonLine(line);
    }
    return (r.strPort.empty() ? "" : r.strPort + "  ") +
           (r.bNumbers ? SerialText(r.serial, r.dwSerial) : std::string()) +
           JoinLines(r.strText, " | ") + "\n";
}

std::string FormatImageInfo(const ImageInfo& i, bool json) {
    if (json) {
        Json line = JsonObject("image");
        line["file"] = i.strFile;
        line["pid"] = i.wPid;
        line["oid"] = i.wOid;
        line["body"] = JsonTextOrNull(i.strBody);
        line["checksum"] = i.bHasRom ? Json(i.wChecksum) : Json(nullptr);
        line["rom_words"] = i.nRomWords;
        line["option_words"] = i.options;
        return JsonLine(line);
    }
    return "File: " + i.strFile + "\n" + i.strPidLine + "\n" +
           "Body: " + (i.strBody.empty() ? "(not in Larkspur.ini)" : i.strBody) + "\n" +
           "Checksum: " + (i.bHasRom ? FormatChecksum(i.wChecksum) : "") + "\n" +
           "ROM words: " + std::to_string(i.nRomWords) + "\n" +
           "Option words: " + HexWords(i.options) + "\n";
}

std::string FormatChipResult(const ChipResult& r, bool json) {
    if (json) {
        Json line = JsonObject("chip");
        if (!r.strPort.empty()) line["port"] = r.strPort;
        if (!r.strPosition.empty()) line["position"] = r.strPosition;
        line["chip"] = r.nChip;
        SerialFields(r.serial, r.dwSerial, line);
        line["result"] = r.strResult;
        line["pass"] = r.bPass;
        if (!r.bPass && r.failedStep != Step::kNone) line["step"] = StepName(r.failedStep);
        if (!r.strJob.empty()) {
            line["job"] = r.strJob;
            line["lot"] = JsonTextOrNull(r.strLot);
        }
        return JsonLine(line);
    }
    std::string text = (r.strPort.empty() ? "" : WriterLabel(r.strPort, r.strPosition) + "  ") +
                       "Chip " + std::to_string(r.nChip) + (r.bPass ? "  PASS  " : "  FAIL  ");
    return text + SerialText(r.serial, r.dwSerial) + JoinLines(r.strResult, " | ") + "\n";
}

namespace {
// Passed chips in % of those tried; NaN when none was.
double YieldPercent(const RunSummary& s) {
    const int chips = s.nPassed + s.nFailed;
    return chips > 0 ? 100.0 * s.nPassed / chips : std::nan("");
}

// One writer's share of a run (its port named), or the run's total.
Json SummaryFields(const RunSummary& s, Json line) {
    if (!s.strPort.empty()) line["port"] = s.strPort;
    if (!s.strPosition.empty()) line["position"] = s.strPosition;
    line["passed"] = s.nPassed;
    line["failed"] = s.nFailed;
    line["seconds_per_chip"] = JsonDecimal(s.dSecondsPerChip);
    line["yield_percent"] = JsonDecimal(YieldPercent(s));
    if (s.strPort.empty()) {
        line["seconds"] = JsonDecimal(s.dSeconds);
        line["stopped"] = JsonTextOrNull(s.strStopped);
        if (s.bLog) {
            Json pending = nullptr;
            if (s.nLogPending > 0) {
                pending = Json::object();
                pending["lines"] = s.nLogPending;
                pending["file"] = s.strPendingFile;
            }
            line["log_pending"] = pending;
        }
    } else {
        line["dropped"] = JsonTextOrNull(s.strDropped);
    }
    return line;
}

std::string SummaryText(const RunSummary& s) {
    const double perChip = std::isfinite(s.dSecondsPerChip) ? s.dSecondsPerChip : 0.0;
    const double yield = YieldPercent(s);
    char text[160];
    std::snprintf(text, sizeof text, "Passed: %d, failed: %d, %.1f s per chip", s.nPassed,
                  s.nFailed, perChip);
    std::string line =
        (s.strPort.empty() ? "" : WriterLabel(s.strPort, s.strPosition) + "  ") + text;
    if (std::isfinite(yield)) {
        std::snprintf(text, sizeof text, ", yield %.1f %%", yield);
        line += text;
    }
    if (s.strPort.empty()) {
        std::snprintf(text, sizeof text, ", %.1f s in all", s.dSeconds);
        line += text;
    }
    if (!s.strDropped.empty()) line += ", dropped: " + s.strDropped;
    if (!s.strStopped.empty()) line += ", stopped: " + s.strStopped;
    line += "\n";
    if (s.nLogPending > 0)
        line += std::to_string(s.nLogPending) + " log line" + (s.nLogPending == 1 ? "" : "s") +
                " could not be written: they wait in '" + s.strPendingFile + "'\n";
    return line;
}
}  // namespace

std::string FormatRunSummary(const RunSummary& s, bool json) {
    return json ? JsonLine(SummaryFields(s, JsonObject("summary"))) : SummaryText(s);
}

std::string FormatGangSummary(const std::vector<RunSummary>& writers, const RunSummary& total,
                              bool json) {
    if (json) {
        Json line = SummaryFields(total, JsonObject("summary"));
        Json& each = line["writers"] = Json::array();
        for (const RunSummary& w : writers) each.push_back(SummaryFields(w, Json::object()));
        return JsonLine(line);
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
           "  run --job JOB --count N  run the sealed job JOB (--lot TEXT: its lot number)\n"
           "  job make JOB --image FILE [--name TEXT] [--mcu NAME] [--auto b,p,v,l]\n"
           "      [--check-id|--no-check-id] [--serial|--no-serial] [--lot]\n"
           "                      seal FILE and the settings (defaults: Larkspur.ini's) as JOB\n"
           "  job show JOB        check JOB's seal and image, print its content and code\n"
           "  job password        set the supervisor password (asked for, never stored)\n"
           "\n"
           "Options:\n"
           "  --port N            use COM port N (7 or COM7) instead of searching [Setting] Ports\n"
           "  --ports N,M,...     run: one writer on each port, N chips in all, side by side\n"
           "  --mcu NAME          select the chip body NAME (an image names its own: NAME must\n"
           "                      be that body)\n"
           "  --serial            write serial numbers in this run\n"
           "  --no-serial         write no serial numbers in this run\n"
           "  --no-wait           run: go on to the next chip without waiting for Enter\n"
           "  --checksum XXXX     run: refuse an image whose checksum is not XXXX (hex)\n"
           "  --max-fails N       run: stop after N failed chips in a row\n"
           "  --probe             ports: ask each port whether a writer answers, and its version\n"
           "  --json              print one JSON object per line instead of text (its\n"
           "                      layout's version in each object's \"layout\")\n"
           "  --help, -h, /?      print this text (so does the command help)\n"
           "  --version           print the version\n"
           "\n"
           "Exit status:\n"
           "  0  all succeeded (also a run ended with q or the end of the input)\n"
           "  1  a chip operation or a download failed\n"
           "  2  bad command line\n"
           "  3  no writer found, or the writer stopped answering (ports --probe: on no port)\n"
           "  4  bad image: unreadable, not the --checksum asked for, or it cannot serve\n"
           "     the run (serial-number words not blank in the image while numbering is on)\n"
           "     or a job file that has been changed or is damaged\n"
           "  5  the serial numbers up to [Serial] End are used up\n"
           "  6  Larkspur.ini cannot be read or written: missing, held by another program,\n"
           "     [Serial] Data not a number from 0 to 4294967295, or the next number not saved\n"
           "  8  the production log could not be written: its lines wait in FILE.pending\n"
           "  130  interrupted with Ctrl+C (the chips under way were finished)\n"
           "A run stops at the first fault of the station (3, 4, 5, 6); chips it did not\n"
           "reach get no line. With --ports, a writer that stops answering or fails its\n"
           "download leaves the run and the others go on (exit 1); when none is left, the\n"
           "exit status is 3.\n"
           "\n"
           "Example: program 100 chips from C:\\jobs\\a.otp with serial numbers, the writer\n"
           "on COM7, a handler swapping the chips:\n"
           "  pyrocmd run C:\\jobs\\a.otp --count 100 --port 7 --serial --no-wait\n"
           "Each chip gives a line such as\n"
           "  Chip 1  PASS  S/N:00000001H  Blank Check/Programming/Verify OK!\n"
           "and the run ends with \"Passed: 100, failed: 0, 4.2 s per chip, yield 100.0 %,\n"
           "420.0 s in all\". Without --no-wait, q and Enter at the prompt ends the run.\n"
           "With --ports 3,4 each line begins with its writer's port, as in\n"
           "  COM4  Chip 7  PASS  S/N:00000007H  Blank Check/Programming/Verify OK!\n"
           "A writer may be named by its adapter wherever a COM port is asked for: usb:SERIAL\n"
           "(the USB serial number), loc:PATH (the USB location), or a position of [Ports]\n"
           "such as Left=usb:A12345; 'pyrocmd ports' shows both. --ports Left,Right then\n"
           "gives lines that begin \"COM4 (Left)\".\n";
}

std::string ConsoleVersionText() {
    return std::string("pyrocmd " PYRO_VERSION_TEXT " (writer protocol ") + kSoftwareVersionText +
           ")\n";
}

std::string ConsoleUsageError(const std::string& error) {
    return "pyrocmd: " + error + "\nType 'pyrocmd --help' for the usage.\n";
}
