#include "writer/profile_win.h"

#include <windows.h>

#include "framework/text.h"

using fw::Narrow;
using fw::Widen;

int WinProfile::GetInt(const std::string& section, const std::string& key, int def) const {
    return static_cast<int>(
        GetPrivateProfileIntW(Widen(section).c_str(), Widen(key).c_str(), def, m_path.c_str()));
}

std::string WinProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& def) const {
    const std::wstring s = Widen(section), k = Widen(key), d = Widen(def);
    // Grow until the value fits: a full buffer means it may have been cut.
    for (DWORD size = 256;; size *= 2) {
        std::wstring buf(size, L'\0');
        DWORD n = GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), buf.data(), size,
                                           m_path.c_str());
        if (n + 1 < size || size >= (1u << 20)) {
            buf.resize(n);
            return Narrow(buf);
        }
    }
}

void WinProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void WinProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
    WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                               m_path.c_str());
}
