// Drives the programs' windows from inside the same Wine prefix, one action per run:
// the shell scripts call it, read what it prints, and judge by its exit status.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring WindowText(HWND h) {
    // WM_GETTEXT works across processes where GetWindowText would not for controls;
    // the time-out keeps a hung program from hanging the test as well.
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &len))
        return L"<no answer>";
    std::wstring w(static_cast<size_t>(len) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, w.size(), reinterpret_cast<LPARAM>(&w[0]), SMTO_ABORTIFHUNG,
                        3000, &copied);
    w.resize(wcslen(w.c_str()));
    return w;
}

bool IsMessageBox(HWND h) {
    return GetDlgItem(h, 0xFFFF) != nullptr;
}

struct Search {
    std::wstring title;
    bool wantMessageBox;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
    if (IsMessageBox(h) != s->wantMessageBox) return TRUE;
    if (!s->title.empty() && WindowText(h) != s->title) return TRUE;
    s->found.push_back(h);
    return TRUE;
}

std::vector<HWND> Find(const std::wstring& title, bool messageBox) {
    Search s{title, messageBox, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitFor(const std::wstring& title, bool messageBox, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> f = Find(title, messageBox);
        if (!f.empty()) return f.front();
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

// ---- Layout measures: whether texts fit their controls, and what the hex view draws ----

int DpiOf(HWND h) {
    using Fn = UINT(WINAPI*)(HWND);
    static const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = fn ? fn(h) : 0;
    if (dpi > 0) return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int sys = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return sys;
}

int Scaled(int px96, int dpi) {
    return MulDiv(px96, dpi, 96);
}

// ---- The dialog template a window was made from, read from its program's file ----
// Another process's font handles mean nothing here, so the font is made again from
// the template as the dialog manager makes it, and proven the same by the layout:
// every control must sit where the template's dialog units, converted with that
// font's base units, put it.

struct TemplateItem {
    RECT du;  // x, y, right, bottom in dialog units
    bool combo;
    bool image;  // an icon or bitmap static, sized to its picture
};

struct DialogTemplate {
    bool found = false;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::wstring face;
    std::vector<TemplateItem> items;
};

// A name-or-ordinal field: skips it, returns its text (empty for an ordinal).
std::wstring SkipSzOrOrd(const WORD*& p, WORD* ordinal = nullptr) {
    if (*p == 0xFFFF) {
        if (ordinal) *ordinal = p[1];
        p += 2;
        return std::wstring();
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

const WORD* AlignDword(const WORD* p, const BYTE* base) {
    const size_t off = reinterpret_cast<const BYTE*>(p) - base;
    return reinterpret_cast<const WORD*>(base + ((off + 3) & ~size_t(3)));
}

// Parses an extended dialog template whose caption is `title`.
bool ParseTemplate(const BYTE* base, const std::wstring& title, DialogTemplate* out) {
    const WORD* p = reinterpret_cast<const WORD*>(base);
    if (p[0] != 1 || p[1] != 0xFFFF) return false;  // DLGTEMPLATEEX only
    const DWORD style = *reinterpret_cast<const DWORD*>(base + 12);
    const WORD count = *reinterpret_cast<const WORD*>(base + 16);
    p = reinterpret_cast<const WORD*>(base + 26);
    SkipSzOrOrd(p);  // menu
    SkipSzOrOrd(p);  // class
    if (SkipSzOrOrd(p) != title) return false;
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        out->pointSize = p[0];
        out->weight = p[1];
        out->italic = reinterpret_cast<const BYTE*>(p + 2)[0];
        out->charset = reinterpret_cast<const BYTE*>(p + 2)[1];
        p += 3;
        out->face = SkipSzOrOrd(p);
    }
    for (WORD i = 0; i < count; ++i) {
        p = AlignDword(p, base);
        const BYTE* item = reinterpret_cast<const BYTE*>(p);
        const short* xy = reinterpret_cast<const short*>(item + 12);
        const DWORD itemStyle = *reinterpret_cast<const DWORD*>(item + 8);
        TemplateItem t{{xy[0], xy[1], xy[0] + xy[2], xy[1] + xy[3]}, false, false};
        p = reinterpret_cast<const WORD*>(item + 24);
        WORD cls = 0;
        const std::wstring name = SkipSzOrOrd(p, &cls);
        t.combo = cls == 0x85 || _wcsicmp(name.c_str(), L"ComboBox") == 0;
        const DWORD staticType = itemStyle & SS_TYPEMASK;
        t.image = (cls == 0x82 || _wcsicmp(name.c_str(), L"Static") == 0) &&
                  (staticType == SS_ICON || staticType == SS_BITMAP);
        SkipSzOrOrd(p);  // title
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        out->items.push_back(t);
    }
    out->found = true;
    return true;
}

BOOL CALLBACK FindTemplate(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR lp) {
    auto* want = reinterpret_cast<std::pair<std::wstring, DialogTemplate>*>(lp);
    HRSRC res = FindResourceW(module, name, type);
    HGLOBAL data = res ? LoadResource(module, res) : nullptr;
    const BYTE* base = data ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
    return !(base && ParseTemplate(base, want->first, &want->second));
}

DialogTemplate TemplateOf(HWND dlg) {
    std::pair<std::wstring, DialogTemplate> want{WindowText(dlg), {}};
    DWORD pid = 0;
    GetWindowThreadProcessId(dlg, &pid);
    HANDLE proc = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t path[MAX_PATH * 2] = {};
    DWORD len = MAX_PATH * 2;
    const bool named = proc && QueryFullProcessImageNameW(proc, 0, path, &len);
    if (proc) CloseHandle(proc);
    if (!named) return want.second;
    HMODULE exe = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!exe) return want.second;
    EnumResourceNamesW(exe, MAKEINTRESOURCEW(5), FindTemplate,  // RT_DIALOG
                       reinterpret_cast<LONG_PTR>(&want));
    FreeLibrary(exe);
    return want.second;
}

// The dialog's font as the dialog manager makes it at `dpi`, and its base units.
HFONT TemplateFont(const DialogTemplate& t, int dpi, SIZE* baseUnits) {
    HFONT font = CreateFontW(-MulDiv(t.pointSize, dpi, 72), 0, 0, 0, t.weight, t.italic, FALSE,
                             FALSE, t.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, FF_DONTCARE, t.face.c_str());
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SIZE abc{};
    const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    GetTextExtentPoint32W(dc, letters, 52, &abc);
    SelectObject(dc, old);
    DeleteDC(dc);
    *baseUnits = SIZE{(abc.cx / 26 + 1) / 2, tm.tmHeight};
    return font;
}

// How a text measures in `font`: one line, or wrapped at `wrapWidth` (> 0).
SIZE MeasureText(HFONT font, const std::wstring& text, UINT flags, int wrapWidth) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              flags | DT_CALCRECT | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    DeleteDC(dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

struct Fit {
    bool measured = false;
    SIZE need{};
    SIZE room{};
};

// The room a control leaves its text, and what the text needs there. Buttons lose
// their 3-D edge and focus frame, check boxes and radio buttons their box and the
// gap after it, edits their margins.
Fit MeasureControl(HWND ctl, const std::wstring& text, HFONT font, int dpi) {
    Fit fit;
    wchar_t cls[32] = {};
    GetClassNameW(ctl, cls, 32);
    const LONG style = GetWindowLongW(ctl, GWL_STYLE);
    RECT rc;
    GetClientRect(ctl, &rc);
    fit.room = SIZE{rc.right, rc.bottom};
    const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    if (_wcsicmp(cls, L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
            fit.need = MeasureText(font, text, prefix, fit.room.cx);
            fit.measured = true;
        } else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE) {
            fit.need = MeasureText(font, text, prefix, 0);
            fit.measured = true;
        }
    } else if (_wcsicmp(cls, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        fit.need = MeasureText(font, text, 0, 0);
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            fit.room.cx -= 2 * (Scaled(2, dpi) + Scaled(1, dpi));
            fit.room.cy -= 2 * Scaled(2, dpi);
            fit.measured = true;
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            fit.room.cx -= Scaled(13, dpi) + Scaled(4, dpi);
            fit.measured = true;
        }
    } else if (_wcsicmp(cls, L"Edit") == 0) {
        const DWORD margins = static_cast<DWORD>(SendMessageW(ctl, EM_GETMARGINS, 0, 0));
        fit.room.cx -= LOWORD(margins) + HIWORD(margins);
        fit.need = MeasureText(font, text.empty() ? std::wstring(L"Ag") : text, DT_NOPREFIX, 0);
        // A report box wraps and scrolls: one line must fit, not the whole text.
        if (style & ES_MULTILINE) fit.need.cx = 0;
        fit.measured = true;
    }
    return fit;
}

// Measures every visible text of the dialog; prints one line a control and a
// closing count. Returns the number of problems.
int FitDialog(HWND dlg) {
    const DialogTemplate t = TemplateOf(dlg);
    if (!t.found) {
        std::printf("no template captioned \"%s\"\n", Narrow(WindowText(dlg)).c_str());
        return 1;
    }
    const int dpi = DpiOf(dlg);
    SIZE base{};
    HFONT font = TemplateFont(t, dpi, &base);
    int checked = 0, problems = 0;
    size_t index = 0;
    for (HWND ctl = GetWindow(dlg, GW_CHILD); ctl; ctl = GetWindow(ctl, GW_HWNDNEXT), ++index) {
        const int id = GetDlgCtrlID(ctl);
        wchar_t cls[32] = {};
        GetClassNameW(ctl, cls, 32);
        // Where the template puts it, in pixels, against where it is.
        if (index < t.items.size()) {
            const RECT& du = t.items[index].du;
            RECT want{MulDiv(du.left, base.cx, 4), MulDiv(du.top, base.cy, 8),
                      MulDiv(du.right, base.cx, 4), MulDiv(du.bottom, base.cy, 8)};
            RECT is;
            GetWindowRect(ctl, &is);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&is), 2);
            // A combo box's template height is that of its open list.
            if (t.items[index].combo) want.bottom = is.bottom;
            // A picture sets its own size; only its place is the template's.
            if (t.items[index].image) {
                want.right = is.right;
                want.bottom = is.bottom;
            }
            if (std::abs(want.left - is.left) > 1 || std::abs(want.top - is.top) > 1 ||
                std::abs(want.right - is.right) > 1 || std::abs(want.bottom - is.bottom) > 1) {
                ++problems;
                std::printf(
                    "MOVED %d %s: at %ld,%ld-%ld,%ld, the template's font puts it at "
                    "%ld,%ld-%ld,%ld\n",
                    id, Narrow(cls).c_str(), is.left, is.top, is.right, is.bottom, want.left,
                    want.top, want.right, want.bottom);
            }
        }
        if (!IsWindowVisible(ctl)) continue;
        const std::wstring text = WindowText(ctl);
        const bool edit = _wcsicmp(cls, L"Edit") == 0;
        if (text.empty() && !edit) continue;
        const Fit fit = MeasureControl(ctl, text, font, dpi);
        if (!fit.measured) continue;  // icons, bars, lists, group boxes
        ++checked;
        const bool fits = fit.need.cx <= fit.room.cx && fit.need.cy <= fit.room.cy;
        if (!fits) ++problems;
        // One line each: a report box's text is shown up to its first line end.
        const std::wstring shown = text.substr(0, text.find_first_of(L"\r\n"));
        std::printf("%s %d %s \"%s\": needs %ldx%ld, has %ldx%ld\n", fits ? "fit " : "CUT ", id,
                    Narrow(cls).c_str(), Narrow(shown).c_str(), fit.need.cx, fit.need.cy,
                    fit.room.cx, fit.room.cy);
    }
    if (index != t.items.size()) {
        ++problems;
        std::printf("MOVED: %u controls, the template has %u\n", static_cast<unsigned>(index),
                    static_cast<unsigned>(t.items.size()));
    }
    DeleteObject(font);
    std::printf("font=%s %dpt at %d DPI checked=%d problems=%d\n", Narrow(t.face).c_str(),
                t.pointSize, dpi, checked, problems);
    return problems;
}

// The hex view as it is on the screen: its rows are bands of dark pixels inside
// the frame. Prints their count, pitch, height and extent and how far they keep
// from the frame; whole=1 when every row is as tall and as wide as the first and
// none reaches the frame.
int HexRows(HWND ctl) {
    RECT wr;
    GetWindowRect(ctl, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    if (w <= 2 || h <= 2) return 1;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, wr.left, wr.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const DWORD*>(bits);
    auto dark = [&](int x, int y) {
        const DWORD c = px[y * w + x];
        return ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) < 3 * 128;
    };
    // Inside the one-pixel frame.
    struct Band {
        int top, bottom, left, right;
    };
    std::vector<Band> bands;
    for (int y = 1; y < h - 1; ++y) {
        int left = -1, right = -1;
        for (int x = 1; x < w - 1; ++x)
            if (dark(x, y)) {
                if (left < 0) left = x;
                right = x;
            }
        if (left < 0) continue;
        if (!bands.empty() && bands.back().bottom == y - 1) {
            Band& b = bands.back();
            b.bottom = y;
            b.left = left < b.left ? left : b.left;
            b.right = right > b.right ? right : b.right;
        } else {
            bands.push_back(Band{y, y, left, right});
        }
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (bands.empty()) {
        std::printf("rows=0\n");
        return 0;
    }
    const Band& first = bands.front();
    bool whole = true;
    int minLeft = w, maxRight = 0;
    for (const Band& b : bands) {
        whole = whole && std::abs((b.bottom - b.top) - (first.bottom - first.top)) <= 1 &&
                std::abs(b.right - first.right) <= 1;
        minLeft = b.left < minLeft ? b.left : minLeft;
        maxRight = b.right > maxRight ? b.right : maxRight;
    }
    const int topGap = first.top - 1, leftGap = minLeft - 1;
    const int rightGap = (w - 2) - maxRight, bottomGap = (h - 2) - bands.back().bottom;
    whole = whole && topGap >= 1 && leftGap >= 1 && rightGap >= 1 && bottomGap >= 1;
    const int pitch = bands.size() > 1 ? bands[1].top - bands[0].top : 0;
    std::printf("rows=%u pitch=%d height=%d width=%d gaps=%d,%d,%d,%d whole=%d\n",
                static_cast<unsigned>(bands.size()), pitch, first.bottom - first.top + 1,
                maxRight - minLeft + 1, leftGap, topGap, rightGap, bottomGap, whole ? 1 : 0);
    return 0;
}

int Usage() {
    std::fputs(
        "usage: uidriver ACTION ...\n"
        "  wait TITLE [ms]             wait for a dialog window, print its handle\n"
        "  gone TITLE [ms]             wait until no dialog of that title is left\n"
        "  count TITLE                 print how many dialogs carry that title\n"
        "  text TITLE ID               print a control's text\n"
        "  click TITLE ID              press a button (posted)\n"
        "  press TITLE ID              the same, once the button is enabled (30 s at most)\n"
        "  command TITLE ID            post WM_COMMAND with ID\n"
        "  syscommand TITLE ID         post WM_SYSCOMMAND with ID\n"
        "  state TITLE ID              print enabled=0|1 visible=0|1 checked=0|1\n"
        "  menu TITLE CMD              print the menu item's enabled/checked state\n"
        "  combo TITLE ID              print the combo box entries, '*' before the selected one\n"
        "  combo-select TITLE ID TEXT  select the entry with that text\n"
        "  check TITLE ID 0|1          set a check box\n"
        "  settext TITLE ID TEXT       set a control's text\n"
        "  type TITLE ID TEXT          post each character as WM_CHAR (typing)\n"
        "  key TITLE ID VK [CARET]     post WM_KEYDOWN/WM_KEYUP with a virtual-key code,\n"
        "                              first putting an edit's caret at CARET\n"
        "  msgbox [ms]                 wait for a message box, print caption and text\n"
        "  msgbox-close [ID] [ms]      wait for a message box and press a button (default OK)\n"
        "  close TITLE                 post WM_CLOSE\n"
        "  enabled TITLE               print 1 when the dialog takes input, else 0\n"
        "  fit TITLE                   measure each visible text against its control with\n"
        "                              the control's font; exit 1 when one is cut\n"
        "  hexrows TITLE ID            measure the rows the hex view shows on the screen\n"
        "  dpi TITLE                   print the DPI the window is shown at\n"
        "  rect TITLE                  print the window's place on the screen as WxH+X+Y\n"
        "  move TITLE X Y              move the window there (asynchronously: its own\n"
        "                              thread does it when it takes its messages)\n",
        stderr);
    return 2;
}

DWORD Ms(int argc, char** argv, int i, DWORD def) {
    return i < argc ? static_cast<DWORD>(std::strtoul(argv[i], nullptr, 10)) : def;
}

HWND Control(HWND dlg, const char* id) {
    return GetDlgItem(dlg, static_cast<int>(std::strtol(id, nullptr, 0)));
}

void Print(const std::wstring& w) {
    std::printf("%s\n", Narrow(w).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // Coordinates and sizes as the programs see them: per-monitor aware as they are.
    using AwarenessFn = BOOL(WINAPI*)(HANDLE);
    if (auto setAwareness = reinterpret_cast<AwarenessFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        setAwareness(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    // The C runtime's argv is in the ANSI code page; texts and paths outside it
    // are taken from the wide command line, as UTF-8 like everything here.
    std::vector<std::string> utf8Args;
    std::vector<char*> utf8Argv;
    int wideCount = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        for (int i = 0; i < wideCount; ++i) utf8Args.push_back(Narrow(wide[i]));
        LocalFree(wide);
        argc = wideCount;
        for (std::string& a : utf8Args) utf8Argv.push_back(&a[0]);
        utf8Argv.push_back(nullptr);
        argv = utf8Argv.data();
    }
    if (argc < 2) return Usage();
    const std::string action = argv[1];
    const std::wstring title = argc > 2 ? Widen(argv[2]) : std::wstring();

    if (action == "msgbox" || action == "msgbox-close") {
        const bool close = action == "msgbox-close";
        const int button = close && argc > 2 ? std::atoi(argv[2]) : IDOK;
        HWND box = WaitFor(L"", true, Ms(argc, argv, close ? 3 : 2, 5000));
        if (!box) {
            std::fputs("no message box\n", stderr);
            return 1;
        }
        Print(WindowText(box));
        Print(WindowText(GetDlgItem(box, 0xFFFF)));
        if (close) PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return 0;
    }
    if (argc < 3) return Usage();
    if (action == "count") {
        std::printf("%u\n", static_cast<unsigned>(Find(title, false).size()));
        return 0;
    }
    if (action == "gone") {
        const DWORD start = GetTickCount();
        while (!Find(title, false).empty())
            if (GetTickCount() - start >= Ms(argc, argv, 3, 5000))
                return 1;
            else
                Sleep(50);
        return 0;
    }
    HWND dlg = WaitFor(title, false, action == "wait" ? Ms(argc, argv, 3, 10000) : 5000);
    if (!dlg) {
        std::fprintf(stderr, "no window titled %s\n", argv[2]);
        return 1;
    }
    if (action == "wait") {
        std::printf("%p\n", static_cast<void*>(dlg));
        return 0;
    }
    if (action == "close") return PostMessageW(dlg, WM_CLOSE, 0, 0) ? 0 : 1;
    if (action == "fit") return FitDialog(dlg) == 0 ? 0 : 1;
    if (action == "rect") {
        RECT r;
        GetWindowRect(dlg, &r);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (action == "dpi") {
        std::printf("%d\n", DpiOf(dlg));
        return 0;
    }
    if (action == "enabled") {
        std::printf("%d\n", IsWindowEnabled(dlg) ? 1 : 0);
        return 0;
    }
    if (argc < 4) return Usage();
    if (action == "move" && argc >= 5)
        return SetWindowPos(dlg, nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS)
                   ? 0
                   : 1;
    const int id = static_cast<int>(std::strtol(argv[3], nullptr, 0));
    if (action == "command") return PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? 0 : 1;
    if (action == "syscommand") return PostMessageW(dlg, WM_SYSCOMMAND, id, 0) ? 0 : 1;
    if (action == "menu") {
        HMENU menu = GetMenu(dlg);
        // Opening the popup lets the window bring its check marks up to date first.
        for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
            HMENU sub = GetSubMenu(menu, i);
            if (sub && GetMenuState(sub, id, MF_BYCOMMAND) != static_cast<UINT>(-1))
                SendMessageW(dlg, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), i);
        }
        UINT st = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : static_cast<UINT>(-1);
        if (st == static_cast<UINT>(-1)) return 1;
        std::printf("enabled=%d checked=%d\n", (st & (MF_GRAYED | MF_DISABLED)) ? 0 : 1,
                    (st & MF_CHECKED) ? 1 : 0);
        return 0;
    }
    HWND ctl = Control(dlg, argv[3]);
    if (!ctl) {
        std::fprintf(stderr, "no control %s\n", argv[3]);
        return 1;
    }
    if (action == "text") {
        Print(WindowText(ctl));
        return 0;
    }
    if (action == "click") return PostMessageW(ctl, BM_CLICK, 0, 0) ? 0 : 1;
    if (action == "press") {
        // As a user would: a button greyed while a command ends is pressed once
        // it is enabled again, since a click on it before then is dropped.
        for (int i = 0; i < 1500 && !IsWindowEnabled(ctl); ++i) Sleep(20);
        return PostMessageW(ctl, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (action == "hexrows") return HexRows(ctl);
    if (action == "state") {
        std::printf("enabled=%d visible=%d checked=%d\n", IsWindowEnabled(ctl) ? 1 : 0,
                    IsWindowVisible(ctl) ? 1 : 0,
                    SendMessageW(ctl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (action == "combo") {
        const LRESULT n = SendMessageW(ctl, CB_GETCOUNT, 0, 0);
        const LRESULT sel = SendMessageW(ctl, CB_GETCURSEL, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            std::wstring item(static_cast<size_t>(SendMessageW(ctl, CB_GETLBTEXTLEN, i, 0)) + 1,
                              L'\0');
            SendMessageW(ctl, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
            item.resize(wcslen(item.c_str()));
            Print((i == sel ? L"*" : L"") + item);
        }
        return 0;
    }
    if (argc < 5) return Usage();
    if (action == "combo-select") {
        const std::wstring want = Widen(argv[4]);
        LRESULT i = SendMessageW(ctl, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(want.c_str()));
        if (i == CB_ERR) return 1;
        SendMessageW(ctl, CB_SETCURSEL, i, 0);
        return 0;
    }
    if (action == "check") {
        SendMessageW(ctl, BM_SETCHECK, std::atoi(argv[4]) ? BST_CHECKED : BST_UNCHECKED, 0);
        return 0;
    }
    if (action == "type") {
        for (wchar_t c : Widen(argv[4])) PostMessageW(ctl, WM_CHAR, c, 1);
        return 0;
    }
    if (action == "key") {
        const WPARAM vk = static_cast<WPARAM>(std::strtoul(argv[4], nullptr, 0));
        // Queued with the key, so a focus change in between (which selects the
        // whole text of an edit) cannot decide what the key acts on.
        if (argc > 5) {
            const WPARAM at = static_cast<WPARAM>(std::strtoul(argv[5], nullptr, 0));
            PostMessageW(ctl, EM_SETSEL, at, static_cast<LPARAM>(at));
        }
        PostMessageW(ctl, WM_KEYDOWN, vk, 1);
        PostMessageW(ctl, WM_KEYUP, vk, 0xC0000001);
        return 0;
    }
    if (action == "settext") {
        const std::wstring text = Widen(argv[4]);
        SendMessageW(ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    return Usage();
}
