#include "common/wide_text.h"

#include <windows.h>

std::wstring Widen(const std::string& utf8, unsigned codePage) {
    if (utf8.empty()) return {};
    int n =
        MultiByteToWideChar(codePage, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& utf16, unsigned codePage) {
    if (utf16.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr,
                                0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string ToAnsi(const std::string& utf8, bool isPath) {
    std::wstring w = Widen(utf8);
    // Where the ANSI code page is UTF-8 this call fails and leaves `lossy` false,
    // which is right: that code page spells everything.
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (lossy && isPath) {
        wchar_t shortPath[MAX_PATH];
        const DWORD len = GetShortPathNameW(w.c_str(), shortPath, MAX_PATH);
        if (len > 0 && len < MAX_PATH) w.assign(shortPath, len);
    }
    return Narrow(w, CP_ACP);
}
