// Custom action of the installers, kept in the package's Binary table (never installed).
// The settings file is the user's once it differs from the one the package put there
// (the program rewrites it at exit), so uninstalling removes it only while it still
// holds the installed bytes. Those bytes travel in this library as resource 1.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return value;
}

bool ReadWholeFile(const std::wstring& path, std::vector<char>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1 << 20);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
              got == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

bool SameAsInstalled(const std::vector<char>& bytes) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&SameAsInstalled), &self))
        return false;
    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL data = res ? LoadResource(self, res) : nullptr;
    const char* original = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    if (!original) return false;
    return SizeofResource(self, res) == bytes.size() &&
           std::equal(bytes.begin(), bytes.end(), original);
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RemoveUnchangedSettings(MSIHANDLE install) {
    std::wstring dir = Property(install, L"INSTALLDIR");
    if (dir.empty()) return ERROR_SUCCESS;
    if (dir.back() != L'\\') dir += L'\\';
    const std::wstring path = dir + L"Larkspur.ini";
    std::vector<char> bytes;
    if (ReadWholeFile(path, bytes) && SameAsInstalled(bytes)) DeleteFileW(path.c_str());
    // Never fail an uninstall over the settings file.
    return ERROR_SUCCESS;
}
