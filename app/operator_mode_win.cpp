// Sealed jobs in the window: opening one puts the window in operator mode,
// where only the job's pass runs and its settings cannot be changed.
#include <windows.h>
#include <commdlg.h>

#include <cctype>
#include <cstdio>
#include <iterator>
#include <vector>

#include "app/operator_dialogs.h"
#include "app/resource.h"
#include "app/writer_dialog.h"
#include "common/file_io.h"
#include "common/password_hash.h"
#include "common/sha256.h"
#include "common/wide_text.h"
#include "core/production_log.h"
#include "framework/dpi_win.h"
#include "image/otp_file.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"

namespace {

constexpr size_t kMinPasswordChars = 6;

// The menu items and buttons that change the image, the body, the Auto
// steps, Check ID or the serial settings.
constexpr UINT kJobLocked[] = {ID_FILE_OPEN,    ID_FILE_SAVE_JOB, ID_FILE_RESET_COUNTS,
                               ID_SETTINGS_MCU, ID_SETTINGS_AUTO, ID_SETTINGS_CHECKID,
                               ID_SN_ENABLE,    ID_SN_SETUP,      IDC_OPEN};
constexpr int kEngineeringOnly[] = {IDC_HEX_VIEW, IDC_HEX_SCROLL};
constexpr int kOperatorOnly[] = {IDC_JOB_TITLE,     IDC_JOB_LOT,    IDC_RESULT,
                                 IDC_RESULT_REASON, IDC_JOB_COUNTS, IDC_RUN_JOB};

const COLORREF kPassColor = RGB(27, 122, 46);
const COLORREF kFailColor = RGB(192, 28, 28);

std::string Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return text;
}

int Box(HWND owner, const std::string& text, UINT type) {
    return MessageBoxW(owner, Widen(text).c_str(), L"Pyrograph", type);
}

// Under the system's temporary folder, named afresh: another window may run the same job.
std::string TempImagePath(const JobFile& job) {
    wchar_t folder[MAX_PATH + 1] = {};
    uint8_t tag[6];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !RandomBytes(tag, sizeof tag)) return std::string();
    std::string ext = ".otp";
    const size_t dot = job.strImageName.find_last_of('.');
    if (dot != std::string::npos && job.strImageName.size() - dot <= 5) {
        bool plain = job.strImageName.size() - dot > 1;
        for (size_t i = dot + 1; i < job.strImageName.size(); ++i)
            plain = plain && std::isalnum(static_cast<unsigned char>(job.strImageName[i]));
        if (plain) ext = job.strImageName.substr(dot);
    }
    return Narrow(folder) + "pgjob-" + HexBytes(tag, sizeof tag) + ext;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = OpenFileUtf8(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string FileNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool AskJobSavePath(HWND owner, std::string& path) {
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Job File(*.pgjob)\0*.pgjob\0\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = L"Save Job";
    ofn.lpstrDefExt = L"pgjob";
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetSaveFileNameW(&ofn)) return false;
    path = Narrow(file.data());
    return true;
}

}  // namespace

bool WriterDialog::LockedByJob(UINT id) {
    for (const UINT locked : kJobLocked)
        if (locked == id) return true;
    return false;
}

void WriterDialog::OpenJob(const std::string& path) {
    if (m_bBusy || m_job) return;
    std::vector<uint8_t> bytes;
    auto job = std::make_unique<JobFile>();
    JobParse parsed = JobParse::kDamaged;
    if (!ReadWholeFile(path, bytes) || bytes.size() > kMaxJobFileBytes) {
        Box(m_hWnd, "Cannot read the job file " + path + ".", MB_OK | MB_ICONERROR);
        return;
    }
    parsed = ParseJobFile(std::string(bytes.begin(), bytes.end()), *job);
    if (parsed == JobParse::kNewFormat) {
        Box(m_hWnd, "The job file " + path + " was made by a later version of this program.",
            MB_OK | MB_ICONERROR);
        return;
    }
    // The image is loaded once on trial, so a job that cannot run opens no mode.
    const std::string temp = parsed == JobParse::kOk ? TempImagePath(*job) : std::string();
    PcBuffer trial;
    if (parsed != JobParse::kOk || !LookupBody(m_session.Bodies(), job->strBody) || temp.empty() ||
        !LoadJobImage(*job, temp, trial, m_session.Bodies(),
                      ChecksumTestEnabled(m_modeProfile.Base()))
             .bOk) {
        Box(m_hWnd, JobDamagedText(path), MB_OK | MB_ICONERROR);
        return;
    }
    std::string lot;
    if (job->bAskLot) {
        EntryDialog dlg(EntryDialog::Kind::kLot, m_hWnd);
        dlg.m_strPrompt = "Lot number of job " + job->strCode + ":";
        for (;;) {
            if (dlg.DoModal() != IDOK) return;
            const std::string error = LotNumberError(dlg.m_strText);
            if (error.empty()) break;
            Box(m_hWnd, error, MB_OK | MB_ICONEXCLAMATION);
        }
        lot = dlg.m_strText;
    }
    // Downloads read the image file again: it stays while the job is open.
    if (!WriteBytes(temp, job->image)) {
        Box(m_hWnd, "Cannot write the job's image to a temporary file.", MB_OK | MB_ICONERROR);
        return;
    }
    m_job = std::move(job);
    m_strJobPath = path;
    m_strJobImage = temp;
    m_strLot = lot;
    m_jobTally = ChipTally();
    m_lastVerdict = ChipVerdict::kNone;
    m_modeProfile.UseJob(m_job.get());
    m_session.ReadSettings();
    m_session.SetJobRecord(path, m_job->strCode, lot);
    m_strFilePath = path;
    UpdateData(false);
    ShowOperatorMode();
    const std::string body = m_job->strBody;
    RunCommand(
        [this, body, temp] {
            if (!m_session.SelectBodyByName(body)) {
                CommandResult none;
                none.outcome = Outcome::kBadImage;
                return none;
            }
            return m_session.OpenImage(temp);
        },
        [this, path](const CommandResult& opened) {
            InvalidateRect(Item(IDC_HEX_VIEW), nullptr, TRUE);
            if (!opened.Passed()) {
                Box(m_hWnd, JobDamagedText(path), MB_OK | MB_ICONERROR);
                LeaveJob();
                ShowOperatorMode();
                return;
            }
            PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
        });
    m_bLoading = true;
}

void WriterDialog::LeaveJob(bool windowStays) {
    if (!m_job) return;
    RemoveFileUtf8(m_strJobImage);
    m_job.reset();
    m_strJobImage.clear();
    m_strLot.clear();
    m_modeProfile.UseJob(nullptr);
    m_session.SetJobRecord("", "", "");
    if (!windowStays) return;
    // Back to the file's settings; the job's image stays in the buffer.
    m_session.ReadSettings();
    m_session.SelectBodyByName(m_modeProfile.Base().GetString("Setting", "BodyName", ""));
    m_strFilePath.clear();
    UpdateData(false);
}

void WriterDialog::OnCloseJob() {
    if (!m_job || m_bBusy || !SupervisorLetsGo()) return;
    LeaveJob();
    ShowOperatorMode();
}

bool WriterDialog::SupervisorLetsGo() {
    const std::string named = "job " + m_job->strName + " (" + m_job->strCode + ")";
    if (!SupervisorPasswordSet(m_modeProfile.Base())) {
        return Box(m_hWnd, "Close " + named + " and leave operator mode?",
                   MB_YESNO | MB_ICONQUESTION) == IDYES;
    } else {
        const uint32_t wait = PasswordWaitMs(m_nWrongPasswords, GetTickCount64() - m_ullLastWrong);
        if (wait > 0) {
            Box(m_hWnd,
                "Five wrong passwords in a row: try again in " +
                    std::to_string((wait + 999) / 1000) + " s.",
                MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        EntryDialog dlg(EntryDialog::Kind::kPassword, m_hWnd);
        dlg.m_strPrompt = "The supervisor password closes " + named + ":";
        if (dlg.DoModal() != IDOK) return false;
        switch (CheckSupervisorPassword(m_modeProfile.Base(), dlg.m_strText)) {
            case PasswordCheck::kRight:
            case PasswordCheck::kNoneSet:
                m_nWrongPasswords = 0;
                break;
            case PasswordCheck::kWrong:
                ++m_nWrongPasswords;
                m_ullLastWrong = GetTickCount64();
                Box(m_hWnd,
                    std::string("That is not the supervisor password: the job stays open.") +
                        (m_nWrongPasswords >= kPasswordTriesBeforeWait ? " The next try waits 30 s."
                                                                       : ""),
                    MB_OK | MB_ICONEXCLAMATION);
                return false;
            case PasswordCheck::kDamaged:
                // Taken for tampering rather than for an open door.
                Box(m_hWnd,
                    "The supervisor password in Larkspur.ini is damaged: the job stays open.",
                    MB_OK | MB_ICONERROR);
                return false;
        }
    }
    return true;
}

void WriterDialog::OnSaveJob() {
    if (m_bBusy || m_job) return;
    const PcBuffer& buf = m_session.Buffer();
    const BodyRecord* body = m_session.SelectedBody();
    if (!buf.m_pBin || m_strFilePath.empty() || !body) {
        Box(m_hWnd, "Please load a file!", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    JobFile job;
    if (!ReadWholeFile(m_strFilePath, job.image) || job.image.size() > kMaxJobImageBytes) {
        Box(m_hWnd, m_strFilePath + ": Failed to open file!", MB_OK | MB_ICONERROR);
        return;
    }
    job.strBody = body->szName;
    job.strImageName = FileNameOf(m_strFilePath);
    job.strName = job.strImageName;
    job.strChecksum = FormatChecksum(BufferChecksum(buf));
    job.strMade = FormatIsoTime(LocalTimeNow());
    const AutoSteps& steps = m_session.AutoSetup();
    job.bBlank = steps.bBlank;
    job.bProgram = steps.bProgram;
    job.bVerify = steps.bVerify;
    job.bLock = steps.bLock && !m_session.IsVoice();
    if (FormatJobAutoSteps(job).empty()) {
        Box(m_hWnd, "Auto selects no step: choose the job's steps in Auto... first.",
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    job.bCheckId = m_session.IsCheckId() && !m_session.IsVoice();
    job.bSerial = m_session.Serial().m_bSerial && !m_session.IsVoice();
    for (int i = 0; i < 4; ++i) job.nSerialAddr[i] = m_session.Serial().m_nSerialAddr[i];
    // As `job make` refuses it: numbers could not go into words the image uses.
    if (job.bSerial && job.bProgram && !SerialFileBlank(m_session.Serial(), buf)) {
        Box(m_hWnd, kSerialFileNotBlank, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // The file must still be the image on the screen, or the job would not open.
    const std::string trialPath = TempImagePath(job);
    PcBuffer trial;
    if (trialPath.empty() || !LoadJobImage(job, trialPath, trial, m_session.Bodies(),
                                           ChecksumTestEnabled(m_modeProfile.Base()))
                                  .bOk) {
        Box(m_hWnd, m_strFilePath + " has changed since it was opened: open it again.",
            MB_OK | MB_ICONERROR);
        return;
    }
    std::string out;
    if (!AskJobSavePath(m_hWnd, out)) return;
    job.bAskLot = Box(m_hWnd, "Ask the operator for a lot number when the job opens?",
                      MB_YESNO | MB_ICONQUESTION) == IDYES;
    const std::string text = FormatJobFile(job);
    if (text.empty() || !WriteBytes(out, std::vector<uint8_t>(text.begin(), text.end()))) {
        Box(m_hWnd, "Cannot write the job file " + out + ".", MB_OK | MB_ICONERROR);
        return;
    }
    SetText(Slot::kMessage, "Job " + job.strCode + " saved.");
    const bool first = !m_bJobSaved;
    m_bJobSaved = true;
    if (first && !SupervisorPasswordSet(m_modeProfile.Base())) OfferSupervisorPassword();
}

void WriterDialog::OfferSupervisorPassword() {
    if (Box(m_hWnd, "No supervisor password is set: anyone can close a job. Set one now?",
            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    EntryDialog dlg(EntryDialog::Kind::kNewPassword, m_hWnd);
    dlg.m_strPrompt =
        "New supervisor password (at least " + std::to_string(kMinPasswordChars) + " characters):";
    for (;;) {
        if (dlg.DoModal() != IDOK) return;
        if (dlg.m_strText.size() < kMinPasswordChars)
            Box(m_hWnd, "A supervisor password has at least 6 characters.",
                MB_OK | MB_ICONEXCLAMATION);
        else if (dlg.m_strText != dlg.m_strAgain)
            Box(m_hWnd, "The two passwords differ.", MB_OK | MB_ICONEXCLAMATION);
        else
            break;
    }
    if (!SetSupervisorPassword(m_modeProfile.Base(), dlg.m_strText))
        Box(m_hWnd, "The supervisor password could not be saved in Larkspur.ini.",
            MB_OK | MB_ICONERROR);
}

void WriterDialog::OnResetCounts() {
    m_dayTally.Reset();
    ShowCounts();
}

void WriterDialog::CountChip(const CommandResult& result) {
    m_dayTally.Add(result, Today());
    if (m_job) {
        const ChipVerdict verdict = JudgeChip(result);
        if (verdict != ChipVerdict::kNone) {
            m_jobTally.Add(result);
            m_lastVerdict = verdict;
            SetItemText(IDC_RESULT, verdict == ChipVerdict::kPass ? "PASS" : "FAIL");
            SetItemText(IDC_RESULT_REASON, result.strText);
            if (verdict == ChipVerdict::kFail) MessageBeep(MB_ICONHAND);
        }
        SetFocus(Item(IDC_RUN_JOB));
    }
    ShowCounts();
}

void WriterDialog::ShowCounts() {
    SetItemText(IDC_DAY_COUNTS, "Today: " + TallyText(m_dayTally.Of(Today())));
    SetItemText(IDC_JOB_COUNTS, TallyText(m_jobTally));
    for (const int id : {IDC_RESULT, IDC_RESULT_REASON}) InvalidateRect(Item(id), nullptr, TRUE);
}

void WriterDialog::ShowOperatorMode() {
    const bool on = m_job != nullptr;
    for (const int id : kEngineeringOnly) ShowWindow(Item(id), on ? SW_HIDE : SW_SHOW);
    for (const int id : kOperatorOnly) ShowWindow(Item(id), on ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_DAY_COUNTS), on ? SW_HIDE : SW_SHOW);
    if (on) {
        MakePanelFonts();
        SetItemText(IDC_JOB_TITLE, m_job->strName + "   Job " + m_job->strCode);
        SetItemText(IDC_JOB_LOT, m_strLot.empty() ? std::string() : "Lot " + m_strLot);
        SetItemText(IDC_RESULT, "");
        SetItemText(IDC_RESULT_REASON, "");
        SendMessageW(m_hWnd, DM_SETDEFID, IDC_RUN_JOB, 0);
        SetFocus(Item(IDC_RUN_JOB));
    } else {
        SendMessageW(m_hWnd, DM_SETDEFID, IDC_DOWNLOAD, 0);
    }
    if (m_hMenu) {
        EnableMenuItem(m_hMenu, ID_FILE_CLOSE_JOB, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
        for (const UINT id : kJobLocked) EnableMenuItem(m_hMenu, id, MF_BYCOMMAND | MF_ENABLED);
    }
    // The voice switches follow the body again, then the job's lock on top.
    ShowModes(m_session.IsVoice());
    UpdateOpenButton();
    ShowCounts();
}

void WriterDialog::ApplyJobLock() {
    if (!m_job || !m_hMenu) return;
    for (const UINT id : kJobLocked) EnableMenuItem(m_hMenu, id, MF_BYCOMMAND | MF_GRAYED);
    if (m_hWnd) DrawMenuBar(m_hWnd);
}

void WriterDialog::MakePanelFonts() {
    if (!m_hWnd) return;
    FreePanelFonts();
    // Pixel heights at 96 DPI: the verdict reads from a few metres away.
    const struct {
        int px, weight;
    } kFonts[] = {{18, FW_BOLD}, {64, FW_HEAVY}, {16, FW_BOLD}, {26, FW_BOLD}, {20, FW_BOLD}};
    const int dpi = fw::WindowDpi(m_hWnd);
    for (size_t i = 0; i < std::size(kFonts); ++i) {
        LOGFONTW lf = {};
        lf.lfHeight = -fw::ScaleForDpi(kFonts[i].px, dpi);
        lf.lfWeight = kFonts[i].weight;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = CLEARTYPE_QUALITY;
        lstrcpynW(lf.lfFaceName, L"Arial", LF_FACESIZE);
        m_hPanelFont[i] = CreateFontIndirectW(&lf);
    }
    const struct {
        int id, font;
    } kUse[] = {{IDC_JOB_TITLE, 0},     {IDC_JOB_LOT, 2},    {IDC_RESULT, 1},
                {IDC_RESULT_REASON, 2}, {IDC_JOB_COUNTS, 4}, {IDC_RUN_JOB, 3}};
    for (const auto& use : kUse)
        SendMessageW(Item(use.id), WM_SETFONT, reinterpret_cast<WPARAM>(m_hPanelFont[use.font]),
                     TRUE);
}

void WriterDialog::FreePanelFonts() {
    for (HFONT& font : m_hPanelFont) {
        if (!font) continue;
        // The controls let go of it first.
        for (const int id : kOperatorOnly)
            if (reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)) == font)
                SendMessageW(Item(id), WM_SETFONT, 0, FALSE);
        DeleteObject(font);
        font = nullptr;
    }
    for (HBRUSH* brush : {&m_hPassBrush, &m_hFailBrush}) {
        if (*brush) DeleteObject(*brush);
        *brush = nullptr;
    }
}

bool WriterDialog::OnCtlColorStatic(WPARAM wp, LPARAM lp, INT_PTR& result) {
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
    if ((id != IDC_RESULT && id != IDC_RESULT_REASON) || !m_job ||
        m_lastVerdict == ChipVerdict::kNone)
        return false;
    const bool pass = m_lastVerdict == ChipVerdict::kPass;
    HBRUSH& brush = pass ? m_hPassBrush : m_hFailBrush;
    if (!brush) brush = CreateSolidBrush(pass ? kPassColor : kFailColor);
    HDC dc = reinterpret_cast<HDC>(wp);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, pass ? kPassColor : kFailColor);
    result = reinterpret_cast<INT_PTR>(brush);
    return true;
}
