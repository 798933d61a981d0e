#pragma once
#include <string>

namespace fw {

// The program keeps its texts in UTF-8; the system takes UTF-16.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

}  // namespace fw
