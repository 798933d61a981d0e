#include "app/writer_dialog.h"

#include <commctrl.h>

#include "app/resource.h"
#include "app/small_dialogs.h"
#include "app/win_helpers.h"
#include "framework/application.h"
#include "common/wide_text.h"
#include "framework/dpi_win.h"

namespace {

// Buttons and bar that follow connection detection and download; Lock is
// handled apart because voice bodies never enable it.
const int kOperationControls[] = {IDC_OPEN,        IDCANCEL,      IDC_DOWNLOAD,
                                  IDC_AUTO,        IDC_PROGRAM,   IDC_VERIFY,
                                  IDC_BLANK_CHECK, IDC_CHIP_INFO, IDC_HEX_SCROLL};

}  // namespace

WriterDialog::WriterDialog(Profile& profile, HWND parent)
    : fw::Dialog(IDD_WRITER, parent), m_hexView(*this), m_session(profile, *this, m_port) {
    m_hIcon = LoadIconW(fw::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

WriterDialog::~WriterDialog() {
    if (m_hBigIcon) DestroyIcon(m_hBigIcon);
    if (m_hSmallIcon) DestroyIcon(m_hSmallIcon);
}

void WriterDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_FILE_PATH, m_strFilePath);
    dx.Text(IDC_MCU_TEXT, m_strBodyName);
    dx.Text(IDC_MESSAGE, m_strMessage);
    dx.Text(IDC_LINK_TEXT, m_strLinkState);
    dx.Text(IDC_DRIVER_TEXT, m_strDriverName);
    dx.Text(IDC_SERIAL_TEXT, m_strSerialText);
    dx.Text(IDC_VERSION_TEXT, m_strVersion);
}

bool WriterDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    if (auto* app = fw::Application::Current()) app->m_hMainWnd = m_hWnd;

    m_pathEdit.Subclass(Item(IDC_FILE_PATH));
    m_hexView.Subclass(Item(IDC_HEX_VIEW));
    AddSystemMenuItems();

    m_hMenu = LoadMenuW(fw::AppInstance(), MAKEINTRESOURCEW(IDR_WRITER_MENU));
    SetMenu(m_hWnd, m_hMenu);
    SetWindowIcons();

    m_session.ReadSettings();
    if (!m_session.IsCheckId())
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID, MF_BYCOMMAND | MF_UNCHECKED);
    PinOptionLibrary();

    if (!m_session.SelectStartBody()) return true;

    m_bBusy = false;
    // Posted, so the command runs once the window is on the screen.
    if (m_strStartFile.empty()) {
        PostMessageW(m_hWnd, WM_COMMAND, ID_SETTINGS_DETECT, 0);
    } else {
        UpdateData(false);
        PostMessageW(m_hWnd, WM_COMMAND, IDC_OPEN, 0);
    }
    return true;
}

void WriterDialog::AddSystemMenuItems() {
    HMENU sys = GetSystemMenu(m_hWnd, FALSE);
    if (!sys) return;
    wchar_t about[128] = {};
    if (LoadStringW(fw::AppInstance(), IDS_ABOUTBOX, about, 128) > 0) {
        AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(sys, MF_STRING, IDM_ABOUTBOX, about);
    }
    if (m_session.Settings().GetString("Setting", "User", "") == "K374") {
        AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(sys, MF_STRING, IDM_DIAGNOSIS, L"Diagnosis");
    }
}

bool WriterDialog::OnRoute(fw::RouteKind kind, UINT id) {
    using K = fw::RouteKind;
    static const fw::CommandRoute<WriterDialog> kRoutes[] = {
        {K::kCommand, IDC_OPEN, &WriterDialog::OpenImageFile},
        {K::kCommand, IDC_DOWNLOAD, &WriterDialog::OnDownload},
        {K::kCommand, IDC_AUTO, &WriterDialog::OnAuto},
        {K::kCommand, IDC_BLANK_CHECK, &WriterDialog::OnBlankCheck},
        {K::kCommand, IDC_PROGRAM, &WriterDialog::OnProgram},
        {K::kCommand, IDC_VERIFY, &WriterDialog::OnVerify},
        {K::kCommand, IDC_LOCK, &WriterDialog::OnLock},
        {K::kCommand, IDC_CHIP_INFO, &WriterDialog::OnChipInfo},
        {K::kCommand, ID_SETTINGS_DETECT, &WriterDialog::OnDetectConnect},
        {K::kCommand, ID_SETTINGS_MCU, &WriterDialog::OnSelectMcu},
        {K::kCommand, ID_SETTINGS_AUTO, &WriterDialog::OnAutoSetup},
        {K::kCommand, ID_SETTINGS_CHECKID, &WriterDialog::OnCheckId},
        {K::kCommand, ID_SETTINGS_OPTION, &WriterDialog::ShowOptions},
        {K::kCommand, ID_OPTION_PRINT, &WriterDialog::PrintOptions},
        {K::kCommand, ID_SN_ENABLE, &WriterDialog::ToggleSerial},
        {K::kCommand, ID_SN_SETUP, &WriterDialog::OnSerialSetupCommand},
        {K::kSysCommand, IDM_ABOUTBOX, &WriterDialog::OnAbout},
        {K::kSysCommand, IDM_DIAGNOSIS, &WriterDialog::OnDiagnosis},
    };
    // Commands that reconnect or change the body must not start inside a
    // running detection or download.
    if (kind == K::kCommand && m_bBusy && (id == ID_SETTINGS_DETECT || id == ID_SETTINGS_MCU))
        return true;
    return fw::DispatchCommand(this, kRoutes, kind, id);
}

bool WriterDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
    static const fw::MessageRoute<WriterDialog> kMessages[] = {
        {WM_VSCROLL, &WriterDialog::OnVScroll},
        {WM_PAINT, &WriterDialog::OnPaint},
        {WM_QUERYDRAGICON, &WriterDialog::OnQueryDragIcon},
        {WM_INITMENUPOPUP, &WriterDialog::OnInitMenuPopup},
        {WM_DESTROY, &WriterDialog::OnDestroy},
        {WM_DPICHANGED, &WriterDialog::OnDpiChanged},
    };
    return fw::DispatchWindowMessage(this, kMessages, msg, wp, lp, result);
}

// Enter would otherwise end the main window with "OK"; only Exit closes it.
void WriterDialog::OnOK() {}

void WriterDialog::OnCancel() {
    if (m_bBusy) return;
    EndDialog(IDCANCEL);
}

void WriterDialog::SetText(FrontText which, const std::string& text) {
    switch (which) {
        case FrontText::kMessage:
            m_strMessage = text;
            break;
        case FrontText::kLink:
            m_strLinkState = text;
            break;
        case FrontText::kVersion:
            m_strVersion = text;
            break;
        case FrontText::kDriver:
            m_strDriverName = text;
            break;
        case FrontText::kSerial:
            m_strSerialText = text;
            break;
        case FrontText::kChecksum:
            SetItemText(IDC_CHECKSUM, text);
            break;
        case FrontText::kMcu:
            m_strBodyName = text;
            break;
        case FrontText::kPath:
            m_strFilePath = text;
            break;
    }
}

void WriterDialog::ProgressStart(int maxPos) {
    m_nPendingPos = -1;
    SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, maxPos);
}

void WriterDialog::ProgressStep(int pos) {
    // The bar repaints as soon as its position changes, about a millisecond
    // under Wine. A download steps after every frame, just before it sends the
    // next: such quick steps wait for the next breath, which comes while that
    // frame is on the line instead of between a reply and the next command.
    if (GetTickCount() - m_dwProgressShown < kProgressHoldMs) {
        m_nPendingPos = pos;
        return;
    }
    ShowProgress(pos);
}

void WriterDialog::ShowProgress(int pos) {
    m_nPendingPos = -1;
    m_dwProgressShown = GetTickCount();
    SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void WriterDialog::ShowPendingProgress() {
    if (m_nPendingPos >= 0) ShowProgress(m_nPendingPos);
}

int WriterDialog::ShowBox(const std::string& text, unsigned flags) {
    ShowPendingProgress();
    return fw::AppMessageBox(GetSafeHwnd(), text, flags);
}

void WriterDialog::Beep() {
    MessageBeep(0xFFFFFFFF);
}

bool WriterDialog::Breathe() {
    ShowPendingProgress();
    return PumpOneMessage();
}

void WriterDialog::EnableOperationControls(bool enable) {
    ShowPendingProgress();
    m_bBusy = !enable;
    for (int id : kOperationControls) EnableItem(id, enable);
    if (!m_session.IsVoice()) EnableItem(IDC_LOCK, enable);
    UpdateOpenButton();
}

void WriterDialog::UpdateOpenButton() {
    EnableItem(IDC_OPEN, !m_bBusy && !m_session.IsRunning());
}

void WriterDialog::EnableInput(bool enable) {
    ::EnableWindow(GetSafeHwnd(), enable ? TRUE : FALSE);
}

void WriterDialog::ShowMenuChecks() {
    if (!m_hMenu) return;
    CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                  MF_BYCOMMAND | (m_session.IsCheckId() ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(m_hMenu, ID_SN_ENABLE,
                  MF_BYCOMMAND | (m_session.Serial().m_bSerial ? MF_CHECKED : MF_UNCHECKED));
}

void WriterDialog::ShowModes(bool voice, bool, bool) {
    const UINT state = MF_BYCOMMAND | (voice ? MF_GRAYED : MF_ENABLED);
    if (m_hMenu) {
        EnableMenuItem(m_hMenu, ID_SETTINGS_CHECKID, state);
        EnableMenuItem(m_hMenu, ID_SN_ENABLE, state);
        EnableMenuItem(m_hMenu, ID_SN_SETUP, state);
        ShowMenuChecks();
    }
    if (m_hWnd) {
        DrawMenuBar(m_hWnd);
        EnableItem(IDC_LOCK, !voice);
        EnableItem(IDC_CHIP_INFO, !voice);
    }
}

void WriterDialog::ScrollHexView(int code, int thumb) {
    HWND bar = Item(IDC_HEX_SCROLL);
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(bar, SB_CTL, &si);
    const int pos = ScrollHexPosition(code, si.nPos, si.nMin, si.nMax, thumb);
    SetScrollPos(bar, SB_CTL, pos, TRUE);
    m_hexView.SetFirstRow(pos);
}

void WriterDialog::ResetHexView(int maxRow) {
    HWND bar = Item(IDC_HEX_SCROLL);
    SetScrollRange(bar, SB_CTL, 0, maxRow, FALSE);
    SetScrollPos(bar, SB_CTL, 0, TRUE);
    m_hexView.SetMode(1);
    m_hexView.SetFirstRow(0);
}

void WriterDialog::OnAbout() {
    AboutDialog dlg(m_hWnd);
    dlg.DoModal();
}

void WriterDialog::OnAutoSetup() {
    UpdateData(true);
    AutoSetupDialog dlg(m_hWnd);
    AutoSteps steps = m_session.Auto();
    dlg.m_bBlank = steps.bBlank;
    dlg.m_bProgram = steps.bProgram;
    dlg.m_bVerify = steps.bVerify;
    dlg.m_bLock = steps.bLock;
    dlg.m_bVoice = m_session.IsVoice();
    if (dlg.DoModal() == IDOK) {
        steps.bBlank = dlg.m_bBlank;
        steps.bProgram = dlg.m_bProgram;
        steps.bVerify = dlg.m_bVerify;
        steps.bLock = dlg.m_bLock;
        m_session.SetAutoSteps(steps);
    }
    UpdateData(false);
}

bool WriterDialog::OnVScroll(WPARAM wp, LPARAM lp, INT_PTR& result) {
    HWND bar = Item(IDC_HEX_SCROLL);
    if (reinterpret_cast<HWND>(lp) != bar) return false;
    const int code = LOWORD(wp);
    int thumb = HIWORD(wp);
    if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) {
        // The message carries only 16 bits of the thumb; the bar has all 32.
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(bar, SB_CTL, &si)) thumb = si.nTrackPos;
    }
    ScrollHexView(code, thumb);
    result = TRUE;
    return true;
}

bool WriterDialog::OnPaint(WPARAM, LPARAM, INT_PTR& result) {
    if (!IsIconic(m_hWnd)) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    result = TRUE;
    return true;
}

void WriterDialog::SetWindowIcons() {
    const int dpi = fw::WindowDpi(m_hWnd);
    const struct {
        WPARAM which;
        int cx, cy;
        HICON* owned;
    } kinds[] = {{ICON_BIG, SM_CXICON, SM_CYICON, &m_hBigIcon},
                 {ICON_SMALL, SM_CXSMICON, SM_CYSMICON, &m_hSmallIcon}};
    for (const auto& k : kinds) {
        HICON icon = static_cast<HICON>(
            LoadImageW(fw::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                       fw::SystemMetricForDpi(k.cx, dpi), fw::SystemMetricForDpi(k.cy, dpi), 0));
        SendMessageW(m_hWnd, WM_SETICON, k.which, reinterpret_cast<LPARAM>(icon ? icon : m_hIcon));
        if (*k.owned) DestroyIcon(*k.owned);
        *k.owned = icon;
    }
}

bool WriterDialog::OnDpiChanged(WPARAM, LPARAM, INT_PTR&) {
    // The dialog manager scales the window, its controls and its font for the
    // new monitor (per-monitor awareness V2); the hex view follows at its next
    // paint. Only the title bar's icons are the window's to replace.
    SetWindowIcons();
    return false;
}

bool WriterDialog::OnQueryDragIcon(WPARAM, LPARAM, INT_PTR& result) {
    result = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
}

bool WriterDialog::OnInitMenuPopup(WPARAM, LPARAM, INT_PTR&) {
    // Voice mode may have cleared a flag since the mark was last set.
    ShowMenuChecks();
    return false;
}

bool WriterDialog::OnDestroy(WPARAM, LPARAM, INT_PTR&) {
    m_session.WriteSettings();

    if (m_hMenu) {
        SetMenu(m_hWnd, nullptr);
        DestroyMenu(m_hMenu);
        m_hMenu = nullptr;
    }
    m_session.Clear();
    if (m_session.Link().IsConnected()) CloseSerialPort();
    UnpinOptionLibrary();
    if (auto* app = fw::Application::Current()) app->m_hMainWnd = nullptr;
    return false;
}
