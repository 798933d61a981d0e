#pragma once
#include <string>

// Case folding of ASCII letters only: names, keywords and extensions are
// ASCII, and bytes of UTF-8 or code-page text must pass through unchanged.
std::string UpperAscii(std::string text);
std::string LowerAscii(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);
