// The print program's text rules on arbitrary command lines and report blocks:
// no read past the block, no value past its fixed size, and the copy holds
// every report byte except the line ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "optprint/print_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    PrintArgs args;
    const CommandLineKind kind = ParseCommandLine(std::string(text, size), &args);
    if (kind == CommandLineKind::Image) {
        // A character takes at most four bytes, so the limit bounds the bytes too.
        if (args.path.empty() || !ImagePathFits(args.path) ||
            args.path.size() > 4 * (kMaxImagePath - 1) || args.body.size() >= kMaxBodyName)
            std::abort();
        if (SourceKindOf(args.path) != SheetSourceKind::Unknown &&
            PrnPathOf(args.path).size() != args.path.size())
            std::abort();
    } else if (!args.path.empty() || !args.body.empty()) {
        std::abort();
    }

    // The block as the library would hand it over, but without a terminating zero.
    std::vector<char> block(data, data + size);
    const std::vector<std::string> lines = SplitReportLines(block.data(), block.size());
    size_t kept = 0, lf = 0;
    for (size_t i = 0; i < size && data[i] != 0; ++i) lf += data[i] == '\n';
    for (const std::string& l : lines) kept += l.size();
    if (lines.size() > lf + 1) std::abort();

    const SheetSourceKind sk =
        size > 0 && (data[0] & 1) ? SheetSourceKind::Cod : SheetSourceKind::Otp;
    if (BuildPrnText(lines, sk).size() < kept) std::abort();
    const SheetMetrics m{size > 1 ? data[1] * 8 : 400, size > 2 ? data[2] * 4 : 200, 15000};
    for (const SheetText& t : LayoutSheet(lines, sk, m))
        if (t.y > 0 || -static_cast<long long>(t.y) > m.printableHeight) std::abort();
    return 0;
}
