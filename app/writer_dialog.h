#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/operator_rules.h"
#include "common/profile.h"
#include "core/ledger_source.h"
#include "core/reporter.h"
#include "core/session.h"
#include "framework/dialog.h"
#include "framework/subclass.h"
#include "image/job_file.h"
#include "writer/port_win.h"

class WriterDialog;

// The settings the window's session reads: the file's, or while a job is
// open the job's overlay of them.
class ModeProfile : public Profile {
  public:
    explicit ModeProfile(Profile& base) : m_base(base) {}
    void UseJob(const JobFile* job) { m_job.reset(job ? new JobProfile(m_base, *job) : nullptr); }
    Profile& Base() { return m_base; }
    int GetInt(const std::string& s, const std::string& k, int def) const override {
        return Current().GetInt(s, k, def);
    }
    std::string GetString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        return Current().GetString(s, k, def);
    }
    void WriteInt(const std::string& s, const std::string& k, int v) override {
        Current().WriteInt(s, k, v);
    }
    void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
        Current().WriteString(s, k, v);
    }
    bool WriteStringDurable(const std::string& s, const std::string& k,
                            const std::string& v) override {
        return Current().WriteStringDurable(s, k, v);
    }

  private:
    Profile& Current() const { return m_job ? *m_job : m_base; }
    Profile& m_base;
    std::unique_ptr<JobProfile> m_job;
};

// The image path box: the program sets the path, the user cannot type into it.
class PathEdit : public fw::SubclassedWindow {
  protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// Draws the ROM words of the PC buffer over the static control 1013.
class HexView : public fw::SubclassedWindow {
  public:
    explicit HexView(const WriterDialog& owner);
    ~HexView() override;
    // Mode 0 shows as many words as the selected body's ROM; 1 the loaded image.
    void SetMode(int mode);
    void SetFirstRow(int row);

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void Paint(HDC dc, const RECT& client);
    const WriterDialog& m_owner;
    int m_nMode = 0;
    LOGFONTW m_logFont;  // at 96 DPI
    int m_nFirstRow = 0;
    HFONT m_hFont = nullptr;
    int m_nFontDpi = 0;  // the DPI m_hFont was made for
};

// The one window of the program: a modal dialog over one session. It runs
// every command of the session on a worker thread, one at a time, and is the
// session's front end: the events it reports are applied here, on the
// window's thread, to the texts, progress bar, message boxes and buttons.
class WriterDialog : public fw::Dialog, public Reporter {
  public:
    WriterDialog(Profile& profile, HWND parent = nullptr);
    ~WriterDialog() override;

    void SetStartupFile(const std::string& path) { m_strStartFile = path; }
    void StartLog(const std::string& programDir) { m_session.StartLog("Pyrograph", programDir); }
    // Serial numbers from this settings file are handed out under the lock
    // every program of it takes, consoles included.
    // What a program that died left reserved goes into the log at once.
    void UseSerialLock(const std::string& settingsPath) {
        m_session.UseSerialLock(settingsPath);
        std::string logFailure;
        m_session.LogNumbersLeftByACrash(logFailure);
        m_strSettingsPath = settingsPath;
    }
    const Session& GetSession() const { return m_session; }

    // The hex view shows no rows while an image is being loaded into the buffer.
    bool ImageLoading() const { return m_bLoading; }

    // --- Reporter: from the worker, posted to the window's thread ------------
    void Report(const Event& event) override;
    bool Ask(const std::string& question) override;

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnRoute(fw::RouteKind kind, UINT id) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

  private:
    // --- Commands on the worker (writer_dialog_win.cpp) --------------------
    // Starts `command` on the worker unless one runs; `done` follows on the
    // window's thread with its result.
    void RunCommand(std::function<CommandResult()> command,
                    std::function<void(const CommandResult&)> done = nullptr);
    void Apply(const Event& event);
    // Runs `call` on the window's thread and returns its answer to the worker.
    int OnWindowThread(const std::function<int()>& call);
    bool OnWorkerMessage(UINT msg, LPARAM lp);
    void SetText(Slot which, const std::string& text);
    void EnableOperationControls(bool enable);
    void ShowModes(bool voice);
    void ResetHexView(int maxRow);

    // --- Shell commands and window messages (writer_dialog_win.cpp) --------
    void OnAbout();
    void OnAutoSetup();
    void OnSerialSetupCommand() { SerialSetup(); }
    bool OnVScroll(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnPaint(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnQueryDragIcon(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnInitMenuPopup(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnDestroy(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnDpiChanged(WPARAM wp, LPARAM lp, INT_PTR& result);
    void SetWindowIcons();  // big and small, sized for the window's DPI
    void AddSystemMenuItems();
    void ShowMenuChecks();
    // "Op&en" follows the operation buttons and stays disabled while a
    // command runs: a new image must not replace the one being sent.
    void UpdateOpenButton();
    void ScrollHexView(int code, int thumb);

    // --- Sealed jobs and operator mode (operator_mode_win.cpp) --------------
    void OpenJob(const std::string& path);
    void OnCloseJob();
    // The supervisor's password, or a confirmation when none is set.
    bool SupervisorLetsGo();
    void LeaveJob(bool windowStays = true);
    void OnSaveJob();
    void OfferSupervisorPassword();
    void OnResetCounts();
    void OnExitCommand() { OnCancel(); }
    // Shows or hides the operator panel and locks the settings commands.
    void ShowOperatorMode();
    void ApplyJobLock();
    // A command the open job forbids: it changes the image or the settings.
    static bool LockedByJob(UINT id);
    void CountChip(const CommandResult& result);
    void ShowCounts();
    void MakePanelFonts();
    void FreePanelFonts();
    bool OnCtlColorStatic(WPARAM wp, LPARAM lp, INT_PTR& result);

    // --- Writer and chip commands (writer_commands_win.cpp) ----------------
    void OpenImageFile();  // open_image_win.cpp
    void OnDetectConnect();
    void OnDownload();
    void OnSelectMcu();
    void OnDiagnosis();
    void OnAuto();
    void OnBlankCheck();
    void OnProgram();
    void OnVerify();
    void OnLock();
    void OnChipInfo();
    void OnCheckId();
    void CloseSerialPort();  // at destroy, when a port is open

    // --- Option view and print (option_view_win.cpp) -----------------------
    void ShowOptions();
    void PrintOptions();
    void PinOptionLibrary();
    void UnpinOptionLibrary();

    // --- Serial numbers (serial_number_dialog_win.cpp) ---------------------
    void ToggleSerial();
    int SerialSetup();  // 1 OK, 2 cancelled

    std::string m_strStartFile;  // used once by OpenImageFile

    // --- Bound texts ------------------------------------------------------
    std::string m_strFilePath;    // 1008 path of the loaded image
    std::string m_strBodyName;    // 1035 selected body
    std::string m_strMessage;     // 1010 message line
    std::string m_strLinkState;   // 1001 "Connected(COM%d)" and the like
    std::string m_strDriverName;  // 1036 body whose driver the writer holds
    std::string m_strSerialText;  // 1002 "S/N:%08XH" or empty
    std::string m_strVersion;     // 1003 writer version

    // --- Window parts ------------------------------------------------------
    HexView m_hexView;
    HICON m_hIcon = nullptr;
    HICON m_hBigIcon = nullptr;  // owned, made for the window's DPI
    HICON m_hSmallIcon = nullptr;
    HMENU m_hMenu = nullptr;
    HMODULE m_hPinnedOptionLib = nullptr;  // see PinOptionLibrary
    PathEdit m_pathEdit;
    bool m_bBusy = false;     // a command runs on the worker: no other one is taken
    bool m_bLoading = false;  // that command loads an image into the buffer
    bool m_bVoice = false;    // as the session last reported its modes
    int m_nProgressMax = -1;
    // The operation controls (Open first) and Lock as a command found them.
    bool m_bWasEnabled[9] = {true, true, true, true, true, true, true, true, true};
    bool m_bLockWasEnabled = true;
    DWORD m_dwThread = GetCurrentThreadId();  // the window's
    std::thread m_worker;
    std::function<void(const CommandResult&)> m_done;
    std::vector<UINT> m_afterCommand;  // settings commands taken during a command
    CommandResult m_workerResult;      // written by the worker before it posts its end

    // --- The factory ledger, when [Ledger] is set ------------------------------
    // Numbers from the station's block, records queued and uploaded by a
    // thread of the ledger's own; a line of the window says if it is reached.
    void StartLedger();
    void ShowLedgerState();
    std::string m_strSettingsPath;
    std::unique_ptr<LedgerHookup> m_ledger;
    std::unique_ptr<SerialSource> m_refusingSource;  // [Ledger] that cannot be used

    // --- The open job ----------------------------------------------------------
    std::unique_ptr<JobFile> m_job;                     // none in engineering mode
    std::string m_strJobPath, m_strJobImage, m_strLot;  // image: its temporary file
    ChipTally m_jobTally;                               // since the job was opened
    DayTally m_dayTally;
    ChipVerdict m_lastVerdict = ChipVerdict::kNone;
    HFONT m_hPanelFont[5] = {};  // title, verdict, reason and lot, button, counts
    HBRUSH m_hPassBrush = nullptr, m_hFailBrush = nullptr;
    int m_nWrongPasswords = 0;
    ULONGLONG m_ullLastWrong = 0;
    bool m_bJobSaved = false;  // a job was saved in this window

    // --- The serial port under the session's link, and the session ---------
    ModeProfile m_modeProfile;
    WinPort m_port;
    Session m_session;
};
