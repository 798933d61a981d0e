#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Text lines of the hex view: eight words a row, each row "%04X: " of its
// first word index followed by "%04X " of every word. `wordCount` is how many
// words the view claims to show; rows never reach past the words present.
std::vector<std::string> HexViewRows(const std::vector<uint16_t>& words, uint32_t wordCount,
                                     int firstRow, int rowsFit);

// The view draws its rows this far from its top and left edges and keeps as
// much room below them: 5 pixels at 96 DPI, scaled to the window's DPI.
int HexViewMargin(int dpi);

// Whole rows of `lineHeight` that fit between the top and bottom margins of a
// view `clientHeight` pixels high; never negative.
int HexRowsThatFit(int clientHeight, int lineHeight, int margin);
