#include <windows.h>

#include "common/wide_text.h"
#include "core/production_log.h"

bool AppendLogLine(const std::string& path, const std::string& header, const std::string& line) {
    // Append-only access makes the system put every write at the end of the
    // file. Reading is asked for only because locking needs it.
    const HANDLE h = CreateFileW(
        Widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Appends alone are not atomic everywhere (network shares, Wine): every
    // writer takes this lock first. It lies far beyond any data, as byte-range
    // locks also keep readers out.
    OVERLAPPED lock = {};
    lock.OffsetHigh = 0x40000000;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
        CloseHandle(h);
        return false;
    }
    LARGE_INTEGER size = {};
    const std::string text = GetFileSizeEx(h, &size) && size.QuadPart == 0 ? header + line : line;
    DWORD done = 0;
    const bool written =
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
        done == text.size();
    if (written) FlushFileBuffers(h);  // best effort against a power cut
    UnlockFileEx(h, 0, 1, 0, &lock);
    return CloseHandle(h) && written;
}

bool ReplaceLogFile(const std::string& path, const std::string& text) {
    const std::wstring wide = Widen(path);
    if (text.empty()) return DeleteFileW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    // A new file moved over the old one: a crash leaves the one or the other whole.
    const std::wstring temp = wide + L".new";
    const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const bool written =
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
        done == text.size() && FlushFileBuffers(h);
    if (!CloseHandle(h) || !written) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return MoveFileExW(temp.c_str(), wide.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
