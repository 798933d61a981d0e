#include "common/settings_file_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/file_io.h"
#include "common/profile_edit.h"
#include "common/wide_text.h"

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

namespace {
bool WriteWholeFile(const wchar_t* path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // The copy must be on the disk before it takes the file's place.
    ok = FlushFileBuffers(file) && ok;
    return CloseHandle(file) && ok;
}
}  // namespace

bool WinProfile::WriteStringDurable(const std::string& section, const std::string& key,
                                    const std::string& value) {
    std::string bytes;
    const DWORD attrs = GetFileAttributesW(m_path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    } else {
        // Moving a file over a read-only one can succeed: refuse it here.
        if (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
        std::vector<uint8_t> raw;
        if (!ReadWholeFile(Narrow(m_path), raw)) return false;
        bytes.assign(raw.begin(), raw.end());
    }
    SetProfileValue(bytes, section, key, value);

    const size_t slash = m_path.find_last_of(L"\\/");
    const std::wstring dir = slash == std::wstring::npos ? L"." : m_path.substr(0, slash);
    wchar_t temp[MAX_PATH];
    if (GetTempFileNameW(dir.c_str(), L"lsp", 0, temp) == 0) return false;
    bool ok = WriteWholeFile(temp, bytes);
    // The system's own reader must find the value in the copy: a file whose
    // lines it parses otherwise is refused rather than replaced.
    wchar_t readBack[64] = {};
    ok = ok && value.size() < 60 &&
         GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"\n", readBack, 64,
                                  temp) == Widen(value).size() &&
         Widen(value) == readBack;
    ok =
        ok && MoveFileExW(temp, m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temp);
        return false;
    }
    return true;
}
