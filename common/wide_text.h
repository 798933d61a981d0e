#pragma once
#include <string>

// The main program keeps its texts in UTF-8; the system takes UTF-16. The option
// library and the print program speak the ANSI code page (0) with their callers.
constexpr unsigned kUtf8CodePage = 65001;
std::wstring Widen(const std::string& text, unsigned codePage = kUtf8CodePage);
std::string Narrow(const std::wstring& utf16, unsigned codePage = kUtf8CodePage);

// `utf8` in the ANSI code page, for the option library. A path that code page
// cannot spell goes by its short name, which it can.
std::string ToAnsi(const std::string& utf8, bool isPath);
