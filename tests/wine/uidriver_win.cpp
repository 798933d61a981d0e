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

int Usage() {
    std::fputs(
        "usage: uidriver ACTION ...\n"
        "  wait TITLE [ms]             wait for a dialog window, print its handle\n"
        "  gone TITLE [ms]             wait until no dialog of that title is left\n"
        "  count TITLE                 print how many dialogs carry that title\n"
        "  text TITLE ID               print a control's text\n"
        "  click TITLE ID              press a button (posted)\n"
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
        "  enabled TITLE               print 1 when the dialog takes input, else 0\n",
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
    if (action == "enabled") {
        std::printf("%d\n", IsWindowEnabled(dlg) ? 1 : 0);
        return 0;
    }
    if (argc < 4) return Usage();
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
