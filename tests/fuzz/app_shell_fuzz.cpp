// Command lines and hex-view windows from arbitrary input: no crash, no read
// past the words, and every row starts with its word index.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/hex_rows.h"
#include "app/startup.h"
#include "common/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    int32_t firstRow, rowsFit;
    uint32_t count;
    std::memcpy(&firstRow, data, 4);
    std::memcpy(&rowsFit, data + 4, 4);
    std::memcpy(&count, data + 8, 4);
    rowsFit %= 64;  // a real view holds a screenful of rows
    const std::string text(reinterpret_cast<const char*>(data + 12), size - 12);

    const StartupArgs args = ParseStartupCommandLine(text);
    // Only a quoted path may hold the option's slash, and never its quotes.
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    const bool quoted = first != std::string::npos && text[first] == '"';
    if (!quoted && args.strFile.find('/') != std::string::npos) std::abort();
    if (quoted && args.strFile.find('"') != std::string::npos &&
        args.strFile.find('/') != std::string::npos)
        std::abort();
    SettingsPathBeside(text);

    std::vector<uint16_t> words((size - 12) / 2);
    if (!words.empty()) std::memcpy(words.data(), data + 12, words.size() * 2);
    const auto rows = HexViewRows(words, count, firstRow, rowsFit);
    int64_t index = firstRow > 0 ? static_cast<int64_t>(firstRow) * 8 : 0;
    for (const std::string& row : rows) {
        char head[16];
        std::snprintf(head, sizeof head, "%04X: ", static_cast<unsigned>(index));
        if (row.compare(0, std::strlen(head), head) != 0) std::abort();
        index += 8;
    }
    return 0;
}
