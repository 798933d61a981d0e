#pragma once
#include <string>

// UTF-8 <-> UTF-16 without the system's help, so the ODBC code is the same on
// Windows (wchar_t) and against unixODBC (unsigned short). Broken input
// becomes U+FFFD rather than being dropped.
std::u16string Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::u16string& utf16);
