// Tessel32.exe: prints the option report of one image file on the one-page
// "Option Approval Sheet" and writes a .PRN text copy beside the image.
// Everything runs in start-up, one step after the other; any failure or cancel
// ends the program at that step.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "framework/module_path.h"
#include "common/wide_text.h"
#include "optprint/print_sheet.h"
#include "optprint/tessel_res.h"

namespace {

using DumpCodFn = const char*(__cdecl*)(const char* path);
using DumpOtpFn = const char*(__cdecl*)(const char* path, const char* body);

const COLORREF kDialogGrey = RGB(192, 192, 192);
HBRUSH g_greyBrush = nullptr;

std::wstring LoadText(UINT id) {
    const wchar_t* p = nullptr;
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 && p != nullptr ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
}

void ShowMessage(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), LoadText(IDS_APP_TITLE).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

// Grey dialogs with black text: every dialog of this thread (message boxes and
// the two common dialogs) is subclassed as it is created.
bool IsClass(HWND hwnd, const wchar_t* name) {
    wchar_t cls[32];
    return GetClassNameW(hwnd, cls, 32) > 0 && _wcsicmp(cls, name) == 0;
}

LRESULT CALLBACK GreyDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR) {
    switch (msg) {
        case WM_CTLCOLORSTATIC:
            // Read-only edit boxes ask as statics; they keep their own colours.
            if (IsClass(reinterpret_cast<HWND>(lp), L"Edit")) break;
            [[fallthrough]];
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, kDialogGrey);
            return reinterpret_cast<LRESULT>(g_greyBrush);
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, GreyDialogProc, id);
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK DialogCreateHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        HWND hwnd = reinterpret_cast<HWND>(wp);
        if (IsClass(hwnd, L"#32770")) SetWindowSubclass(hwnd, GreyDialogProc, 1, 0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

// The program's folder with a trailing backslash, then `name`.
std::wstring BesideProgram(const wchar_t* name) {
    return Widen(ModuleFolder(fw::ModulePath(nullptr))) + name;
}

// Asks for a .cod file; false when the user cancels.
bool AskForCodFile(PrintArgs* args) {
    const std::wstring title = LoadText(IDS_SELECT_COD);
    wchar_t file[1024] = L"*.cod";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.lpstrFilter = L"COD file (*.cod)\0*.cod\0\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof(file) / sizeof(file[0]);
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = L"cod";
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return false;
    args->path = Narrow(file);
    args->body.clear();
    return true;
}

// The chosen printer's device context, made from its driver, device and port
// names with the printer's own defaults; null on cancel or failure.
HDC ChoosePrinter() {
    PRINTDLGW pd{};
    pd.lStructSize = sizeof(pd);
    pd.Flags = PD_PRINTSETUP | PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE |
               PD_USEDEVMODECOPIESANDCOLLATE;
    if (!PrintDlgW(&pd)) return nullptr;
    HDC dc = nullptr;
    if (pd.hDevNames != nullptr) {
        auto* names = static_cast<DEVNAMES*>(GlobalLock(pd.hDevNames));
        if (names != nullptr) {
            const wchar_t* base = reinterpret_cast<const wchar_t*>(names);
            dc = CreateDCW(base + names->wDriverOffset, base + names->wDeviceOffset,
                           base + names->wOutputOffset, nullptr);
            GlobalUnlock(pd.hDevNames);
        }
        GlobalFree(pd.hDevNames);
    }
    if (pd.hDevMode != nullptr) GlobalFree(pd.hDevMode);
    return dc;
}

// Plays the letterhead into the full printable width and one inch of height.
void DrawLetterhead(HDC dc) {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_LETTERHEAD), L"METAFILE");
    HGLOBAL mem = res != nullptr ? LoadResource(nullptr, res) : nullptr;
    const void* bits = mem != nullptr ? LockResource(mem) : nullptr;
    HENHMETAFILE emf = bits != nullptr ? SetEnhMetaFileBits(SizeofResource(nullptr, res),
                                                            static_cast<const BYTE*>(bits))
                                       : nullptr;
    if (emf == nullptr) return;
    const int saved = SaveDC(dc);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, LOGPIXELSY), nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    const RECT box{0, 0, 1, 1};
    PlayEnhMetaFile(dc, emf, &box);
    DeleteEnhMetaFile(emf);
    RestoreDC(dc, saved);
}

HFONT MakeFont(const wchar_t* face, int height, int weight, bool underline, BYTE family) {
    LOGFONTW lf{};
    lf.lfHeight = -height;  // character height, not cell height
    lf.lfWeight = weight;
    lf.lfUnderline = underline ? 1 : 0;
    lf.lfPitchAndFamily = family;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

int LineHeight(HDC dc, HFONT font) {
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    return tm.tmHeight + tm.tmExternalLeading;
}

void DrawSheet(HDC dc, const std::vector<std::string>& lines, SheetSourceKind kind) {
    DrawLetterhead(dc);

    SetMapMode(dc, MM_TWIPS);
    SetWindowOrgEx(dc, -500, 0, nullptr);
    HFONT title = MakeFont(L"Times New Roman", 400, FW_BOLD, true, DEFAULT_PITCH);
    HFONT body = MakeFont(L"Courier New", 200, FW_NORMAL, false, FF_ROMAN | DEFAULT_PITCH);

    SheetMetrics m{};
    m.titleLineHeight = LineHeight(dc, title);
    m.bodyLineHeight = LineHeight(dc, body);
    const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    m.printableHeight = dpiY > 0 ? MulDiv(GetDeviceCaps(dc, VERTRES), 1440, dpiY) : 0;

    HGDIOBJ old = SelectObject(dc, title);
    for (const SheetText& t : LayoutSheet(lines, kind, m)) {
        SelectObject(dc, t.font == SheetFont::Title ? title : body);
        TextOutA(dc, t.x, t.y, t.text.data(), static_cast<int>(t.text.size()));
    }
    SelectObject(dc, old);
    DeleteObject(title);
    DeleteObject(body);
}

int Run(const std::string& cmdLine) {
    // Library beside the program.
    HMODULE lib = LoadLibraryW(BesideProgram(L"ravelin32.dll").c_str());
    if (lib == nullptr) {
        ShowMessage(LoadText(IDS_NO_LIBRARY));
        return 1;
    }
    auto dumpCod =
        reinterpret_cast<DumpCodFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DumpCodOption")));
    auto dumpOtp =
        reinterpret_cast<DumpOtpFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DumpOtpOption")));
    if (dumpCod == nullptr || dumpOtp == nullptr) {
        FreeLibrary(lib);
        ShowMessage(LoadText(IDS_NO_EXPORT));
        return 1;
    }

    PrintArgs args;
    CommandLineKind how = ParseCommandLine(cmdLine, &args);
    if (how == CommandLineKind::Empty) {
        if (!AskForCodFile(&args)) {
            FreeLibrary(lib);
            return 0;
        }
        how = ImagePathFits(args.path) ? CommandLineKind::Image : CommandLineKind::Malformed;
    }
    // An unusable path is reported like a file of the wrong kind rather than
    // guessed at.
    const SheetSourceKind kind =
        how == CommandLineKind::Image ? SourceKindOf(args.path) : SheetSourceKind::Unknown;

    // The path stays UTF-8 here; the library takes the ANSI code page.
    const char* report = nullptr;
    if (kind == SheetSourceKind::Cod) {
        report = dumpCod(ToAnsi(args.path, true).c_str());
    } else if (kind == SheetSourceKind::Otp) {
        report = dumpOtp(ToAnsi(args.path, true).c_str(), ToAnsi(args.body, false).c_str());
    } else {
        const std::wstring text = LoadText(IDS_NOT_COD_OTP);
        if (!text.empty()) ShowMessage(text);
        FreeLibrary(lib);
        return 1;
    }
    if (report == nullptr) {  // the library has said why
        FreeLibrary(lib);
        return 1;
    }
    // Copied now: the block belongs to the library.
    const std::vector<std::string> lines = SplitReportLines(report);

    HDC dc = ChoosePrinter();
    if (dc == nullptr) {
        FreeLibrary(lib);
        return 0;
    }
    DOCINFOW doc{};
    doc.cbSize = sizeof(doc);
    const std::wstring docName = Widen(kDocumentName, 0);
    doc.lpszDocName = docName.c_str();
    if (StartDocW(dc, &doc) <= 0) {
        DeleteDC(dc);
        FreeLibrary(lib);
        return 1;
    }
    StartPage(dc);

    // The copy's line ends are written as CR LF by hand, so the file is opened
    // in binary mode. It takes the image's real name, whatever the library got.
    const std::string prnPath = PrnPathOf(args.path);
    FILE* copy = OpenFileUtf8(prnPath, "wb");
    if (copy == nullptr) {
        // The sheet still goes to the printer; only the copy is missing.
        std::wstring text = LoadText(IDS_COPY_ERROR);
        const size_t at = text.find(L"%s");
        if (at != std::wstring::npos) text.replace(at, 2, Widen(prnPath));
        ShowMessage(text);
    }

    DrawSheet(dc, lines, kind);
    bool copyOk = true;
    if (copy != nullptr) {
        const std::string text = BuildPrnText(lines, kind);
        copyOk = std::fwrite(text.data(), 1, text.size(), copy) == text.size();
        copyOk = std::fclose(copy) == 0 && copyOk;
    }

    EndPage(dc);
    EndDoc(dc);
    DeleteDC(dc);
    FreeLibrary(lib);
    return copy != nullptr && copyOk ? 0 : 1;
}

}  // namespace

// The wide entry point: the C runtime cuts off the program's name as for
// WinMain, and a path outside the ANSI code page arrives whole.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int) {
    g_greyBrush = CreateSolidBrush(kDialogGrey);
    HHOOK hook = SetWindowsHookExW(WH_CBT, DialogCreateHook, nullptr, GetCurrentThreadId());
    const int rc = Run(cmdLine != nullptr ? Narrow(cmdLine) : std::string());
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    DeleteObject(g_greyBrush);
    return rc;
}
