#include "app/writer_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <future>
#include <iterator>
#include <memory>

#include "app/resource.h"
#include "app/small_dialogs.h"
#include "app/win_helpers.h"
#include "writer/port_identity.h"
#include "writer/port_inventory.h"
#include "framework/application.h"
#include "common/wide_text.h"
#include "framework/dpi_win.h"
#include "ledger/station_files.h"

namespace {

// Buttons and bar that follow connection detection and download; Lock is
// handled apart because voice bodies never enable it.
constexpr int kOperationControls[] = {IDC_OPEN,        IDCANCEL,      IDC_DOWNLOAD,
                                      IDC_AUTO,        IDC_PROGRAM,   IDC_VERIFY,
                                      IDC_BLANK_CHECK, IDC_CHIP_INFO, IDC_HEX_SCROLL};

static_assert(std::size(kOperationControls) == 9 && kOperationControls[0] == IDC_OPEN,
              "WriterDialog::m_bWasEnabled follows the operation controls");

// From the worker to the window: an event (lParam an Event to delete), a call
// whose answer the worker waits for (lParam a WindowCall), the command's end.
constexpr UINT WM_WORKER_EVENT = WM_APP + 1;
constexpr UINT WM_WORKER_CALL = WM_APP + 2;
constexpr UINT WM_WORKER_DONE = WM_APP + 3;

struct WindowCall {
    const std::function<int()>& call;
    std::promise<int> answer;
};

}  // namespace

WriterDialog::WriterDialog(Profile& profile, HWND parent)
    : fw::Dialog(IDD_WRITER, parent),
      m_hexView(*this),
      m_modeProfile(profile),
      m_session(m_modeProfile, *this, m_port) {
    m_hIcon = LoadIconW(fw::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

WriterDialog::~WriterDialog() {
    if (m_worker.joinable()) m_worker.join();
    if (m_ledger) m_ledger->Ledger().StopUploader();  // its notices go to this window
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
    // Writers named by their adapters or positions sit on the COM ports they
    // are on now; a name that leads nowhere is said after the search, as a
    // refused list is.
    if (const auto names = SettingPortIdentities(m_session.Settings()); !names.empty())
        m_session.UsePorts(ResolveSettingPorts(
            names, MergePortSightings(ScanPresentPorts().sightings), m_session.Settings()));
    if (!m_session.IsCheckId())
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID, MF_BYCOMMAND | MF_UNCHECKED);
    PinOptionLibrary();
    ShowCounts();
    StartLedger();

    if (!m_session.SelectStartBody()) return true;

    // Posted, so the command runs once the window is on the screen.
    if (m_strStartFile.empty()) {
        PostMessageW(m_hWnd, WM_COMMAND, ID_SETTINGS_DETECT, 0);
    } else {
        UpdateData(false);
        PostMessageW(m_hWnd, WM_COMMAND, IDC_OPEN, 0);
    }
    return true;
}

void WriterDialog::StartLedger() {
    const Profile& settings = m_session.Settings();
    LedgerSettings ledger =
        ReadLedgerSettings(settings, settings.GetString("Setting", "BodyName", ""), ComputerName());
    if (!ledger.bOn) return;
    if (!ledger.strError.empty()) {
        m_refusingSource = std::make_unique<RefusingSerialSource>(ledger.strError);
        m_session.UseSerialSource(*m_refusingSource);
        SetText(Slot::kLedger, "Ledger: " + ledger.strError);
        return;
    }
    ledger.config.strProgram = "Pyrograph";
    m_ledger = std::make_unique<LedgerHookup>(ledger.config, m_strSettingsPath);
    m_ledger->Attach(m_session);
    ShowLedgerState();
    // From the uploader's thread: posted to this one, as the worker's events are.
    m_ledger->Ledger().StartUploader([this](const std::string&) {
        Report(Event::Text(Slot::kLedger, LedgerStateText(m_ledger->Ledger())));
    });
}

void WriterDialog::ShowLedgerState() {
    if (m_ledger) SetText(Slot::kLedger, LedgerStateText(m_ledger->Ledger()));
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
        {K::kCommand, IDC_RUN_JOB, &WriterDialog::OnAuto},
        {K::kCommand, ID_FILE_OPEN, &WriterDialog::OpenImageFile},
        {K::kCommand, ID_FILE_SAVE_JOB, &WriterDialog::OnSaveJob},
        {K::kCommand, ID_FILE_CLOSE_JOB, &WriterDialog::OnCloseJob},
        {K::kCommand, ID_FILE_RESET_COUNTS, &WriterDialog::OnResetCounts},
        {K::kCommand, ID_FILE_EXIT, &WriterDialog::OnExitCommand},
        {K::kCommand, IDC_JOB_TITLE, &WriterDialog::MakePanelFonts},
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
    // The settings dialogs and the option view work on the session, which is
    // the worker's while a command runs: they open once it has ended.
    static const UINT kAfterCommand[] = {ID_SETTINGS_AUTO, ID_SETTINGS_CHECKID, ID_SETTINGS_OPTION,
                                         ID_OPTION_PRINT,  ID_SN_ENABLE,        ID_SN_SETUP};
    // A disabled item can still arrive as a posted command or an accelerator.
    if (kind == K::kCommand && m_job && LockedByJob(id)) return true;
    if (kind == K::kCommand && m_bBusy &&
        std::find(std::begin(kAfterCommand), std::end(kAfterCommand), id) !=
            std::end(kAfterCommand)) {
        m_afterCommand.push_back(id);
        return true;
    }
    return fw::DispatchCommand(this, kRoutes, kind, id);
}

bool WriterDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
    if (OnWorkerMessage(msg, lp)) {
        result = TRUE;
        return true;
    }
    static const fw::MessageRoute<WriterDialog> kMessages[] = {
        {WM_VSCROLL, &WriterDialog::OnVScroll},
        {WM_PAINT, &WriterDialog::OnPaint},
        {WM_QUERYDRAGICON, &WriterDialog::OnQueryDragIcon},
        {WM_INITMENUPOPUP, &WriterDialog::OnInitMenuPopup},
        {WM_DESTROY, &WriterDialog::OnDestroy},
        {WM_DPICHANGED, &WriterDialog::OnDpiChanged},
        {WM_CTLCOLORSTATIC, &WriterDialog::OnCtlColorStatic},
    };
    return fw::DispatchWindowMessage(this, kMessages, msg, wp, lp, result);
}

// Enter would otherwise end the main window with "OK"; only Exit closes it.
// An operator's Enter starts the job's pass.
void WriterDialog::OnOK() {
    if (m_job) OnAuto();
}

void WriterDialog::OnCancel() {
    if (m_bBusy) return;
    // Exit, Esc and the close box leave operator mode too.
    if (m_job && !SupervisorLetsGo()) return;
    EndDialog(IDCANCEL);
}

// --- Commands on the worker ---------------------------------------------------

void WriterDialog::RunCommand(std::function<CommandResult()> command,
                              std::function<void(const CommandResult&)> done) {
    if (m_bBusy) return;
    // The worker reads the path as the user left it; the window's thread
    // touches the session no more until the command has ended.
    UpdateData(true);
    m_session.UsePath(m_job ? m_strJobImage : m_strFilePath);
    m_bBusy = true;
    m_done = std::move(done);
    if (m_worker.joinable()) m_worker.join();
    m_worker = std::thread([this, command = std::move(command)] {
        m_workerResult = command();
        PostMessageW(m_hWnd, WM_WORKER_DONE, 0, 0);
    });
}

bool WriterDialog::OnWorkerMessage(UINT msg, LPARAM lp) {
    switch (msg) {
        case WM_WORKER_EVENT: {
            const std::unique_ptr<Event> event(reinterpret_cast<Event*>(lp));
            Apply(*event);
            return true;
        }
        case WM_WORKER_CALL: {
            auto* call = reinterpret_cast<WindowCall*>(lp);
            call->answer.set_value(call->call());
            return true;
        }
        case WM_WORKER_DONE: {
            if (m_worker.joinable()) m_worker.join();
            m_bBusy = false;
            m_bLoading = false;
            UpdateOpenButton();
            const auto done = std::move(m_done);
            m_done = nullptr;
            if (done) done(m_workerResult);
            ShowLedgerState();
            for (const UINT id : m_afterCommand) PostMessageW(m_hWnd, WM_COMMAND, id, 0);
            m_afterCommand.clear();
            return true;
        }
        default:
            return false;
    }
}

int WriterDialog::OnWindowThread(const std::function<int()>& call) {
    if (GetCurrentThreadId() == m_dwThread) return call();
    WindowCall posted{call, {}};
    std::future<int> answer = posted.answer.get_future();
    // Posted behind the events before it, so they are on the screen first.
    PostMessageW(m_hWnd, WM_WORKER_CALL, 0, reinterpret_cast<LPARAM>(&posted));
    return answer.get();
}

void WriterDialog::Report(const Event& event) {
    if (GetCurrentThreadId() == m_dwThread) {
        Apply(event);
    } else if (event.kind == Event::Kind::kBox && event.modal) {
        OnWindowThread([&] {
            Apply(event);
            return 0;
        });
    } else {
        PostMessageW(m_hWnd, WM_WORKER_EVENT, 0, reinterpret_cast<LPARAM>(new Event(event)));
    }
}

bool WriterDialog::Ask(const std::string& question) {
    return OnWindowThread([&] {
               return fw::AppMessageBox(GetSafeHwnd(), question, kBoxYesNo) == IDYES ? 1 : 0;
           }) != 0;
}

void WriterDialog::Apply(const Event& e) {
    using K = Event::Kind;
    switch (e.kind) {
        case K::kText:
            SetText(e.slot, e.text);
            break;
        case K::kAppend:
            SetText(Slot::kMessage, m_strMessage + e.text);
            break;
        case K::kWarning:
            SetText(Slot::kMessage, m_strMessage + " " + e.text);
            break;
        case K::kProgress:
            if (e.max != m_nProgressMax) {
                m_nProgressMax = e.max;
                SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, e.max);
            }
            SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(e.pos), 0);
            break;
        case K::kBeep:
            MessageBeep(0xFFFFFFFF);
            break;
        case K::kBox:
            if (e.caption.empty())
                fw::AppMessageBox(GetSafeHwnd(), e.text, e.flags);
            else
                MessageBoxW(nullptr, Widen(e.text).c_str(), Widen(e.caption).c_str(), e.flags);
            break;
        case K::kHexReset:
            ResetHexView(e.pos);
            break;
        case K::kModes:
            ShowModes(e.voice);
            break;
        case K::kStarted:
            for (size_t i = 0; i < std::size(kOperationControls); ++i)
                m_bWasEnabled[i] = IsWindowEnabled(Item(kOperationControls[i])) != FALSE;
            // An open job, not the writer, keeps Open off: it follows Download.
            if (m_job) m_bWasEnabled[0] = m_bWasEnabled[2];
            m_bLockWasEnabled = IsWindowEnabled(Item(IDC_LOCK)) != FALSE;
            EnableOperationControls(false);
            break;
        case K::kEnded:
            // A search or a download enables them all; other commands leave
            // the controls as they found them.
            if (e.pos) {
                std::fill(std::begin(m_bWasEnabled), std::end(m_bWasEnabled), true);
                m_bLockWasEnabled = !m_bVoice;
            }
            for (size_t i = 0; i < std::size(kOperationControls); ++i)
                EnableItem(kOperationControls[i], m_bWasEnabled[i]);
            EnableItem(IDC_LOCK, m_bLockWasEnabled);
            UpdateOpenButton();
            break;
    }
}

void WriterDialog::SetText(Slot which, const std::string& text) {
    std::string* bound = nullptr;
    int id = 0;
    switch (which) {
        case Slot::kMessage:
            bound = &m_strMessage;
            id = IDC_MESSAGE;
            break;
        case Slot::kLink:
            bound = &m_strLinkState;
            id = IDC_LINK_TEXT;
            break;
        case Slot::kVersion:
            bound = &m_strVersion;
            id = IDC_VERSION_TEXT;
            break;
        case Slot::kDriver:
            bound = &m_strDriverName;
            id = IDC_DRIVER_TEXT;
            break;
        case Slot::kSerial:
            bound = &m_strSerialText;
            id = IDC_SERIAL_TEXT;
            break;
        case Slot::kChecksum:
            id = IDC_CHECKSUM;
            break;
        case Slot::kMcu:
            bound = &m_strBodyName;
            id = IDC_MCU_TEXT;
            break;
        case Slot::kPath:
            bound = &m_strFilePath;
            id = IDC_FILE_PATH;
            break;
        case Slot::kLedger:
            id = IDC_LEDGER_STATE;
            break;
    }
    // The operator sees the job, not the temporary file its image loads from.
    const std::string& shown = which == Slot::kPath && m_job ? m_strJobPath : text;
    if (bound) *bound = shown;
    if (m_hWnd) SetItemText(id, shown);
}

void WriterDialog::EnableOperationControls(bool enable) {
    for (int id : kOperationControls) EnableItem(id, enable);
    if (!m_bVoice) EnableItem(IDC_LOCK, enable);
    UpdateOpenButton();
}

void WriterDialog::UpdateOpenButton() {
    EnableItem(IDC_OPEN, !m_bBusy && m_bWasEnabled[0] && !m_job);
}

void WriterDialog::ShowMenuChecks() {
    if (!m_hMenu) return;
    CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                  MF_BYCOMMAND | (m_session.IsCheckId() ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(m_hMenu, ID_SN_ENABLE,
                  MF_BYCOMMAND | (m_session.Serial().m_bSerial ? MF_CHECKED : MF_UNCHECKED));
}

void WriterDialog::ShowModes(bool voice) {
    m_bVoice = voice;
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
    ApplyJobLock();
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
    if (m_bBusy) return;
    UpdateData(true);
    AutoSetupDialog dlg(m_hWnd);
    AutoSteps steps = m_session.AutoSetup();
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
    // After the dialog manager has set its own scaled fonts on the controls.
    PostMessageW(m_hWnd, WM_COMMAND, IDC_JOB_TITLE, 0);
    return false;
}

bool WriterDialog::OnQueryDragIcon(WPARAM, LPARAM, INT_PTR& result) {
    result = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
}

bool WriterDialog::OnInitMenuPopup(WPARAM, LPARAM, INT_PTR&) {
    // Voice mode may have cleared a flag since the mark was last set; while a
    // command runs the session is the worker's.
    if (!m_bBusy) ShowMenuChecks();
    return false;
}

bool WriterDialog::OnDestroy(WPARAM, LPARAM, INT_PTR&) {
    // Closing is refused while a command runs, so the worker has ended or is
    // posting its end.
    if (m_worker.joinable()) m_worker.join();
    m_session.WriteSettings();
    LeaveJob(false);
    FreePanelFonts();

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
