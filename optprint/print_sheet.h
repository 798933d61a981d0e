#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Text rules of the option sheet printer: what it reads from its command line,
// which export a file goes to, and what lands on the page and in the .PRN copy.

// The path and the body name are limited to these sizes, terminating zero
// included; longer values are refused, never cut, because a cut path or body
// name would name a different file or chip. The path counts characters, so a
// name outside ASCII gets as many as an ASCII one; the body name, always ASCII,
// counts bytes.
constexpr size_t kMaxImagePath = 256;
constexpr size_t kMaxBodyName = 20;

// Whether a UTF-8 image path is within kMaxImagePath.
bool ImagePathFits(const std::string& path);

// The library hands out blocks of this size; nothing past it is read even when
// the terminating zero is missing.
constexpr size_t kReportBlockSize = 8192;

enum class CommandLineKind {
    Empty,      // no arguments: ask for a .cod file
    Image,      // path (and maybe a body name) taken
    Malformed,  // no opening or closing quote, or a value too long
};

struct PrintArgs {
    std::string path;
    std::string body;
};

// Reads '"path" body' as the main program writes it (UTF-8: the program reads
// its command line in UTF-16). White space around the quoted path and around
// the body name is dropped.
CommandLineKind ParseCommandLine(const std::string& cmdLine, PrintArgs* args);

enum class SheetSourceKind { Cod, Otp, Unknown };

// Decided by the last three characters of the path, case ignored: cod, or
// otp / mtp.
SheetSourceKind SourceKindOf(const std::string& path);

// The path without its last three characters, then "PRN".
std::string PrnPathOf(const std::string& imagePath);

// Cuts the report at each LF; the line end (CR LF or a bare LF) is dropped,
// and a last line without a line end is kept whole.
std::vector<std::string> SplitReportLines(const char* report, size_t maxLen = kReportBlockSize);

extern const char kSheetTitle[];
extern const char kDocumentName[];

// The signature block of .cod sheets, in page order, with the blank lines the
// page leaves after each line (the text copy has the same ones).
struct SignatureLine {
    const char* text;
    int lineSlot;     // page line, 1-based below the report
    int blanksAfter;  // empty lines that follow it in the text copy
};
extern const SignatureLine kSignatureLines[4];
constexpr int kSignatureSlots = 8;  // the block's share of the page, in lines

// The .PRN copy: title line, report lines and, for .cod sheets, the signature
// block, every line ended by CR LF.
std::string BuildPrnText(const std::vector<std::string>& lines, SheetSourceKind kind);

// Positions on the sheet in twips, x to the right of the text margin and y
// negative below the top of the printable area.
enum class SheetFont { Title, Body };
struct SheetText {
    SheetFont font;
    int x;
    int y;
    std::string text;
};

struct SheetMetrics {
    int titleLineHeight;  // character height + external leading, twips
    int bodyLineHeight;
    int printableHeight;  // twips; a line whose bottom passes it is left out
};

constexpr int kTitleX = 3000;
constexpr int kTitleY = -1500;

std::vector<SheetText> LayoutSheet(const std::vector<std::string>& lines, SheetSourceKind kind,
                                   const SheetMetrics& m);
