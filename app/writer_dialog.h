#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/profile.h"
#include "core/front_end.h"
#include "core/session.h"
#include "framework/dialog.h"
#include "framework/subclass.h"
#include "writer/port_win.h"

class WriterDialog;

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

// The one window of the program: a modal dialog over one session. It routes
// every command to the session and is the session's front end: its texts,
// progress bar, message boxes and buttons.
class WriterDialog : public fw::Dialog, public FrontEnd {
  public:
    WriterDialog(Profile& profile, HWND parent = nullptr);
    ~WriterDialog() override;

    void SetStartupFile(const std::string& path) { m_strStartFile = path; }
    void StartLog(const std::string& programDir) { m_session.StartLog("Pyrograph", programDir); }
    // Serial numbers from this settings file are handed out under the lock
    // every program of it takes, consoles included.
    void UseSerialLock(const std::string& settingsPath) { m_session.UseSerialLock(settingsPath); }
    const Session& GetSession() const { return m_session; }

    // --- FrontEnd ------------------------------------------------------------
    void SetText(FrontText which, const std::string& text) override;
    void AppendMessage(const std::string& text) override { m_strMessage += text; }
    void Warn(const std::string& text) override {
        m_strMessage += " " + text;
        PushTexts();
    }
    void PushTexts() override {  // bound members -> controls
        ShowPendingProgress();
        UpdateData(false);
    }
    void PullTexts() override { UpdateData(true); }  // controls -> bound members
    bool PulledText(FrontText which, std::string& text) override {
        if (which != FrontText::kPath) return false;
        text = m_strFilePath;
        return true;
    }
    void ProgressStart(int maxPos) override;
    void ProgressStep(int pos) override;
    void ProgressEnd() override { ShowProgress(0); }
    int ShowBox(const std::string& text, unsigned flags) override;
    void Beep() override;
    bool Breathe() override;
    void EnableOperationControls(bool enable) override;
    void EnableInput(bool enable) override;
    void ShowRunning(bool) override {
        ShowPendingProgress();
        UpdateOpenButton();
    }
    void ShowModes(bool voice, bool checkId, bool serial) override;
    void ResetHexView(int maxRow) override;

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnRoute(fw::RouteKind kind, UINT id) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

  private:
    // --- Shell commands and window messages (writer_dialog_win.cpp) --------
    void OnAbout();
    void OnAutoSetup();
    void OnSerialSetupCommand() { SerialSetup(); }
    void ShowProgress(int pos);  // at once
    void ShowPendingProgress();  // what ProgressStep held back, if anything
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
    bool m_bBusy = false;  // operation buttons disabled by EnableOperationControls
    // A progress position held back by ProgressStep, -1 when none; steps this
    // soon after the last one shown are held.
    static constexpr DWORD kProgressHoldMs = 100;
    int m_nPendingPos = -1;
    DWORD m_dwProgressShown = 0;

    // --- The serial port under the session's link, and the session ---------
    WinPort m_port{m_hWnd};
    Session m_session;
};
