// The print program's command line: what the main program writes for any
// program path, image path and body name reaches the print program as that
// image path and body name, or is refused whole; and whatever line it is given,
// what it takes reads back the same when written out again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/split_token.h"
#include "image/option_view.h"
#include "optprint/print_sheet.h"

namespace {

// What WinMain gets: the line without the program's own name and the blanks
// after it (a quoted name ends at the closing quote, a bare one at a blank).
std::string ArgumentsOf(const std::string& line) {
    size_t pos = 0;
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        pos = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    return line.substr(pos);
}

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Any line: what is taken is within its limits and written out again reads
    // back the same.
    PrintArgs args;
    const CommandLineKind kind = ParseCommandLine(input, &args);
    if (kind == CommandLineKind::Image) {
        if (args.path.empty() || !ImagePathFits(args.path) || args.body.size() >= kMaxBodyName ||
            args.path.find('"') != std::string::npos)
            std::abort();
        if (!args.body.empty() && (IsWhite(args.body.front()) || IsWhite(args.body.back())))
            std::abort();
        PrintArgs again;
        if (ParseCommandLine("\"" + args.path + "\" " + args.body, &again) != kind ||
            again.path != args.path || again.body != args.body)
            std::abort();
    } else if (!args.path.empty() || !args.body.empty()) {
        std::abort();
    }
    if (kind == CommandLineKind::Empty && input.find_first_not_of(" \t\r\n") != std::string::npos)
        std::abort();

    // The main program's line from three zero-separated parts of the input.
    std::string parts[3];
    int p = 0;
    for (char c : input) {
        if (c == '\0' && p < 2)
            ++p;
        else
            parts[p] += c;
    }
    const std::string& program = parts[0];
    const std::string& image = parts[1];
    const std::string& body = parts[2];
    // Paths and body names from the system hold neither quotes nor zeros, and a
    // program path neither starts nor ends with a blank.
    if (program.empty() || program.find_first_of("\"\r\n") != std::string::npos ||
        IsWhite(program.front()) || IsWhite(program.back()) ||
        image.find_first_of("\"\r\n") != std::string::npos ||
        body.find_first_of("\"\r\n") != std::string::npos || body.find('\0') != std::string::npos)
        return 0;
    const std::string line = PrintCommandLine(program, image, body);
    if (line.compare(0, program.size(), program) != 0 &&
        line.compare(0, program.size() + 2, "\"" + program + "\"") != 0)
        std::abort();
    const CommandLineKind got = ParseCommandLine(ArgumentsOf(line), &args);
    const std::string trimmed = TrimWhite(body);
    const bool fits = !image.empty() && ImagePathFits(image) && trimmed.size() < kMaxBodyName;
    if (got != (fits ? CommandLineKind::Image : CommandLineKind::Malformed)) std::abort();
    if (fits && (args.path != image || args.body != trimmed)) std::abort();
    return 0;
}
