#include "console/output.h"

#include <cmath>
#include <cstdio>

#include "common/split_token.h"
#include "common/utf8_text.h"
#include "core/production_log.h"
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

std::string FormatChipResult(const ChipResult& r, bool json) {
    const bool serial = r.serial == SerialFate::kWritten || r.serial == SerialFate::kBurned;
    const std::string number = serial ? FormatSerialText(r.dwSerial) : std::string();
    const bool burned = r.serial == SerialFate::kBurned;
    if (json) {
        Json line = JsonObject("chip");
        if (!r.strPort.empty()) line["port"] = r.strPort;
        line["chip"] = r.nChip;
        line["serial"] = serial ? Json(r.dwSerial) : Json(nullptr);
        if (burned) line["serial_state"] = SerialFateText(r.serial);
        line["result"] = r.strResult;
        line["pass"] = r.bPass;
        if (!r.bPass && r.failedStep != Step::kNone) line["step"] = StepName(r.failedStep);
        return JsonLine(line);
    }
    std::string text = (r.strPort.empty() ? "" : r.strPort + "  ") + "Chip " +
                       std::to_string(r.nChip) + (r.bPass ? "  PASS  " : "  FAIL  ");
    if (serial) text += "S/N:" + number + (burned ? " (burned)  " : "  ");
    return text + JoinLines(r.strResult, " | ") + "\n";
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
    line["passed"] = s.nPassed;
    line["failed"] = s.nFailed;
    line["seconds_per_chip"] = JsonDecimal(s.dSecondsPerChip);
    line["yield_percent"] = JsonDecimal(YieldPercent(s));
    if (s.strPort.empty()) {
        line["seconds"] = JsonDecimal(s.dSeconds);
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
    std::string line = (s.strPort.empty() ? "" : s.strPort + "  ") + text;
    if (std::isfinite(yield)) {
        std::snprintf(text, sizeof text, ", yield %.1f %%", yield);
        line += text;
    }
    if (s.strPort.empty()) {
        std::snprintf(text, sizeof text, ", %.1f s in all", s.dSeconds);
        line += text;
    }
    if (!s.strDropped.empty()) line += ", dropped: " + s.strDropped;
    return line + "\n";
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
           "\n"
           "Options:\n"
           "  --port N            use COM port N (7 or COM7) instead of searching [Setting] Ports\n"
           "  --ports N,M,...     run: one writer on each port, N chips in all, side by side\n"
           "  --mcu NAME          select the chip body NAME\n"
           "  --serial            write serial numbers in this run\n"
           "  --no-serial         write no serial numbers in this run\n"
           "  --no-wait           run: go on to the next chip without waiting for Enter\n"
           "  --checksum XXXX     run: refuse an image whose checksum is not XXXX (hex)\n"
           "  --max-fails N       run: stop after N failed chips in a row\n"
           "  --probe             ports: ask each port whether a writer answers, and its version\n"
           "  --json              print one JSON object per line instead of text (its\n"
           "                      layout's version in each object's \"layout\")\n"
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
           "and the run ends with \"Passed: 100, failed: 0, 4.2 s per chip, yield 100.0 %,\n"
           "420.0 s in all\". Without --no-wait, q and Enter at the prompt ends the run.\n"
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
