#include <windows.h>

#include <cstring>
#include <string>

#include "common/file_io.h"
#include "optdump/option_dump.h"
#include "optdump/ravelin_exports.h"
#include "plinth/plinth32.h"
#include "plinth/plinth_rules.h"
#include "framework/module_path.h"
#include "common/wide_text.h"

namespace {

HINSTANCE g_module = nullptr;

class WinDumpHost : public OptDumpHost {
  public:
    void ShowMessage(int id, const std::string& arg) override {
        // The string table is looked up in the user's language.
        const wchar_t* res = nullptr;
        const int n =
            LoadStringW(g_module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&res), 0);
        std::wstring text =
            n > 0 ? std::wstring(res, static_cast<size_t>(n)) : Widen(EnglishMessage(id), 0);
        const size_t p = text.find(L"%s");
        if (p != std::wstring::npos) text.replace(p, 2, Widen(arg, 0));
        Box(text);
    }
    void ShowLiteral(const std::string& text) override { Box(Widen(text, 0)); }

    std::string LibraryDir() override { return ModuleFolder(fw::ModulePath(g_module, CP_ACP)); }
    std::string CreateTempFile(const char* prefix) override {
        char dir[MAX_PATH] = {};
        char name[MAX_PATH] = {};
        const DWORD n = GetTempPathA(sizeof dir, dir);
        if (n == 0 || n >= sizeof dir) return std::string();
        if (!GetTempFileNameA(dir, prefix, 0, name)) return std::string();
        return name;
    }
    void DeleteFile(const std::string& path) override { DeleteFileA(path.c_str()); }
    bool FileExists(const std::string& path) override {
        WIN32_FIND_DATAA fd;
        const HANDLE h = FindFirstFileA(path.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        FindClose(h);
        return true;
    }
    std::string UpperPath(const std::string& path) override {
        std::string s = path;
        if (!s.empty()) CharUpperBuffA(&s[0], static_cast<DWORD>(s.size()));
        return s;
    }

    bool QueryOptionArea(uint16_t pid, const uint8_t* rest, uint32_t count, uint32_t* address,
                         uint32_t* length) override {
        void* handle = QueryOID(pid, rest, count);
        if (!handle) return false;
        // Larger than the record we read, in case the library writes more.
        alignas(8) uint8_t info[64] = {};
        if (!GetOIDINFO(handle, info)) return false;
        std::memcpy(address, info + 12, 4);
        std::memcpy(length, info + 16, 4);
        return true;
    }

    PluginResult RunMaskPlugin(const std::string& path, uint8_t* options,
                               std::string* text) override {
        text->clear();
        const HMODULE lib = LoadLibraryA(path.c_str());
        if (!lib) return PluginResult::kNotLoadable;
        using ToMask = HGLOBAL(__cdecl*)(unsigned char*);
        const auto fn =
            reinterpret_cast<ToMask>(reinterpret_cast<void*>(GetProcAddress(lib, "OTPToMask")));
        if (!fn) {
            FreeLibrary(lib);
            return PluginResult::kNoExport;
        }
        // A plug-in that returns no handle adds nothing to the report.
        if (const HGLOBAL mem = fn(options)) {
            if (const char* p = static_cast<const char*>(GlobalLock(mem))) {
                // Never read past the block, terminated or not.
                const size_t size = GlobalSize(mem);
                *text = std::string(p, strnlen(p, size));
                GlobalUnlock(mem);
            }
        }
        FreeLibrary(lib);
        return PluginResult::kText;
    }

  private:
    static void Box(const std::wstring& text) {
        MessageBoxW(nullptr, text.c_str(), L"Ravelin32", MB_OK | MB_TASKMODAL);
    }
};

WinDumpHost& Host() {
    static WinDumpHost host;
    return host;
}

OptionDumper& Dumper() {
    static OptionDumper dumper(Host());
    return dumper;
}

}  // namespace

extern "C" const char* DumpOtpOption(const char* path, const char* body) {
    return Dumper().DumpOtp(path, body);
}

extern "C" const char* DumpCodOption(const char* path) {
    return Dumper().DumpCod(path);
}

extern "C" const char* DumpOptOption(const char* body, const char* path) {
    return Dumper().DumpOpt(body, path);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
