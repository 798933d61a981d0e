#include "optprint/print_sheet.h"

#include <cctype>
#include <cstring>

#include "common/split_token.h"
#include "common/utf8_text.h"

const char kSheetTitle[] = "Option Approval Sheet";
const char kDocumentName[] = "Marrowind Option Print";

const SignatureLine kSignatureLines[4] = {
    {"The Above Option Table Is                    Prepared By : ( MARROWIND )", 1, 0},
    {"Confirmed By : ( Customer )", 2, 3},
    {"------------------------------               ------------------------------", 6, 0},
    {"( Name , Date & Company Chop )               ( Name & Date )", 7, 0},
};

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

bool ImagePathFits(const std::string& path) {
    return Utf8CharacterCount(path) < kMaxImagePath;
}

CommandLineKind ParseCommandLine(const std::string& cmdLine, PrintArgs* args) {
    args->path.clear();
    args->body.clear();
    size_t pos = 0;
    while (pos < cmdLine.size() && IsWhite(cmdLine[pos])) ++pos;
    if (pos == cmdLine.size()) return CommandLineKind::Empty;
    if (cmdLine[pos] != '"') return CommandLineKind::Malformed;

    const size_t close = cmdLine.find('"', pos + 1);
    if (close == std::string::npos) return CommandLineKind::Malformed;
    std::string path = cmdLine.substr(pos + 1, close - pos - 1);
    // One blank separates the body name; anything else there means the text was
    // not written by the main program.
    std::string body;
    if (close + 1 < cmdLine.size()) {
        if (!IsWhite(cmdLine[close + 1])) return CommandLineKind::Malformed;
        body = TrimWhite(cmdLine.substr(close + 2));
    }

    if (path.empty() || !ImagePathFits(path) || body.size() >= kMaxBodyName)
        return CommandLineKind::Malformed;
    args->path = std::move(path);
    args->body = std::move(body);
    return CommandLineKind::Image;
}

SheetSourceKind SourceKindOf(const std::string& path) {
    if (path.size() < 3) return SheetSourceKind::Unknown;
    std::string ext = path.substr(path.size() - 3);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "cod") return SheetSourceKind::Cod;
    if (ext == "otp" || ext == "mtp") return SheetSourceKind::Otp;
    return SheetSourceKind::Unknown;
}

std::string PrnPathOf(const std::string& imagePath) {
    const size_t keep = imagePath.size() >= 3 ? imagePath.size() - 3 : 0;
    return imagePath.substr(0, keep) + "PRN";
}

std::vector<std::string> SplitReportLines(const char* report, size_t maxLen) {
    std::vector<std::string> lines;
    if (report == nullptr) return lines;
    const char* end = static_cast<const char*>(std::memchr(report, '\0', maxLen));
    const size_t len = end != nullptr ? static_cast<size_t>(end - report) : maxLen;

    size_t start = 0;
    while (start < len) {
        const void* lf = std::memchr(report + start, '\n', len - start);
        if (lf == nullptr) {
            lines.emplace_back(report + start, len - start);
            break;
        }
        size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - report);
        const size_t next = stop + 1;
        if (stop > start && report[stop - 1] == '\r') --stop;
        lines.emplace_back(report + start, stop - start);
        start = next;
    }
    return lines;
}

std::string BuildPrnText(const std::vector<std::string>& lines, SheetSourceKind kind) {
    std::string text = "\t\t\t";
    text += kSheetTitle;
    text += "\r\n";
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    if (kind == SheetSourceKind::Cod) {
        for (const SignatureLine& sig : kSignatureLines) {
            text += sig.text;
            text += "\r\n";
            for (int i = 0; i < sig.blanksAfter; ++i) text += "\r\n";
        }
    }
    return text;
}

std::vector<SheetText> LayoutSheet(const std::vector<std::string>& lines, SheetSourceKind kind,
                                   const SheetMetrics& m) {
    std::vector<SheetText> out;
    // `top` is the distance below the printable area's top edge. One page only:
    // a line that would not fit whole stays off the paper.
    auto place = [&](SheetFont font, int x, long long top, int lineHeight, const char* text) {
        if (top + lineHeight > m.printableHeight) return;
        out.push_back({font, x, static_cast<int>(-top), text});
    };

    place(SheetFont::Title, kTitleX, -kTitleY, m.titleLineHeight, kSheetTitle);
    const long long reportTop = -kTitleY + 2LL * m.titleLineHeight;
    for (size_t i = 0; i < lines.size(); ++i)
        place(SheetFont::Body, 0, reportTop + static_cast<long long>(i) * m.bodyLineHeight,
              m.bodyLineHeight, lines[i].c_str());
    if (kind == SheetSourceKind::Cod) {
        const long long blockTop =
            reportTop + static_cast<long long>(lines.size()) * m.bodyLineHeight;
        for (const SignatureLine& sig : kSignatureLines)
            place(SheetFont::Body, 0,
                  blockTop + static_cast<long long>(sig.lineSlot) * m.bodyLineHeight,
                  m.bodyLineHeight, sig.text);
    }
    return out;
}
