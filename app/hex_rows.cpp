#include "app/hex_rows.h"

#include <algorithm>
#include <cstdio>

#include "framework/dpi.h"

std::vector<std::string> HexViewRows(const std::vector<uint16_t>& words, uint32_t wordCount,
                                     int firstRow, int rowsFit) {
    std::vector<std::string> rows;
    const int64_t first = firstRow > 0 ? static_cast<int64_t>(firstRow) * 8 : 0;
    // In mode 0 the count is the body's ROM size, which may exceed the image.
    const int64_t count = std::min<int64_t>(wordCount, static_cast<int64_t>(words.size()));
    const int64_t end = std::min<int64_t>((static_cast<int64_t>(firstRow) + rowsFit) * 8, count);
    char cell[16];
    for (int64_t i = first; i < end; ++i) {
        if (i % 8 == 0) {
            std::snprintf(cell, sizeof cell, "%04X: ", static_cast<unsigned>(i));
            rows.emplace_back(cell);
        }
        std::snprintf(cell, sizeof cell, "%04X ", static_cast<unsigned>(words[i]));
        rows.back() += cell;
    }
    return rows;
}

int HexViewMargin(int dpi) {
    return fw::ScaleForDpi(5, dpi);
}

int HexRowsThatFit(int clientHeight, int lineHeight, int margin) {
    if (lineHeight <= 0) return 0;
    const int room = clientHeight - 2 * margin;
    return room > 0 ? room / lineHeight : 0;
}
