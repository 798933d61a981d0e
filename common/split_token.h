#pragma once
#include <string>

// Cuts the first token off `text` at `sep` and returns it; `text` keeps the rest.
// A blank separator also stops at a tab, whichever comes first.
std::string SplitToken(std::string& text, char sep);

// Trims the C library's white-space set from both ends.
std::string TrimWhite(const std::string& s);

// Value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

// The lines of `text` (CR, LF or both end one), each trimmed of white space,
// blank ones dropped, joined with `separator`: a text of many lines on one.
std::string JoinLines(const std::string& text, const std::string& separator);
