// pyrocmd's arguments come from scripts and its texts (file names, writer
// messages) end up in JSON lines and CSV logs that other programs read back:
// the parser must keep its promises and every text must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/output.h"
#include "common/utf8_text.h"
#include "core/production_log.h"

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    std::abort();
}

// Reads a JSON string back; only the escapes JsonString may write are allowed.
std::string JsonRead(const std::string& json) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
    std::string out;
    for (size_t i = 1; i + 1 < json.size(); ++i) {
        const char c = json[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == '"') std::abort();
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 2 >= json.size()) std::abort();
        const char e = json[++i];
        if (e == 'u') {
            if (i + 5 >= json.size()) std::abort();
            int v = 0;
            for (int k = 0; k < 4; ++k) v = v * 16 + HexDigit(json[++i]);
            if (v >= 0x20) std::abort();
            out += static_cast<char>(v);
        } else if (e == 'n' || e == 'r' || e == 't' || e == 'b' || e == 'f' || e == '"' ||
                   e == '\\') {
            out += e == 'n'   ? '\n'
                   : e == 'r' ? '\r'
                   : e == 't' ? '\t'
                   : e == 'b' ? '\b'
                   : e == 'f' ? '\f'
                              : e;
        } else {
            std::abort();
        }
    }
    return out;
}

std::string CsvRead(const std::string& field) {
    if (field.empty() || field[0] != '"') {
        if (field.find_first_of(",\"\r\n") != std::string::npos) std::abort();
        return field;
    }
    if (field.size() < 2 || field.back() != '"') std::abort();
    std::string out;
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        if (field[i] == '"' && field[++i] != '"') std::abort();
        out += field[i];
    }
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string repaired = RepairUtf8(text);
    if (RepairUtf8(repaired) != repaired) std::abort();
    if (JsonRead(JsonString(text)) != repaired) std::abort();
    if (CsvRead(CsvField(text)) != repaired) std::abort();

    std::vector<std::string> args(1);
    for (const char c : text) {
        if (c == '\0')
            args.emplace_back();
        else
            args.back() += c;
    }
    const ConsoleArgs a = ParseConsoleArgs(args);
    if (a.strError.empty()) {
        const bool run = a.command == ConsoleCommand::Run;
        const bool needsFile =
            run || a.command == ConsoleCommand::Info || a.command == ConsoleCommand::Download;
        if (needsFile && a.strFile.empty()) std::abort();
        if (run != (a.nCount >= 1)) std::abort();
        if (a.nPort < 0 || a.nPort > 255 || a.nSerial < -1 || a.nSerial > 1) std::abort();
    }
    return 0;
}
