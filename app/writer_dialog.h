#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "app/window_settings.h"
#include "common/profile.h"
#include "framework/dialog.h"
#include "framework/subclass.h"
#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "writer/chip_operations.h"
#include "writer/ops_context.h"

#include "writer/dialog_link_host_win.h"
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
    LOGFONTW m_logFont;
    int m_nFirstRow = 0;
    HFONT m_hFont = nullptr;
};

// The one window of the program: a modal dialog that owns the PC buffer, the
// selected chip body, the settings kept in memory and every command.
class WriterDialog : public fw::Dialog, public PcBuffer {
  public:
    WriterDialog(Profile& profile, BodyTable& bodies, HWND parent = nullptr);
    ~WriterDialog() override;

    // --- Shell: window services used by every subsystem --------------------
    void SetStartupFile(const std::string& path) { m_strStartFile = path; }
    void PushTexts() { UpdateData(false); }  // bound members -> controls
    void PullTexts() { UpdateData(true); }   // controls -> bound members
    Profile& Settings() { return m_profile; }
    const BodyTable& Bodies() const { return m_bodyTable; }
    bool IsBusy() const { return m_bBusy; }

    // --- Chip bodies and enabling rules ------------------------------------
    // Makes the body named by [Setting] BodyName current and switches voice
    // mode; returns nullptr (changing nothing) when the table lacks the name.
    const BodyRecord* SelectBody();
    void EnableOperationControls(bool enable);

    // --- PC buffer display -------------------------------------------------
    void ShowChecksum(int flag);
    void ScrollHexView(int code, int thumb);
    // After a load: scroll range 0 .. maxRow (HexScrollMax of the buffer),
    // position and first row 0, image mode.
    void ResetHexView(int maxRow);
    void SetProgressRange(int maxPos);
    void SetProgressPos(int pos);

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnRoute(fw::RouteKind kind, UINT id) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

  private:
    friend class HexView;
    friend class WriterImageHost;  // the image loaders' view of the window

    // --- Shell commands and window messages (writer_dialog_win.cpp) --------
    void OnAbout();
    void OnAutoSetup();
    void OnSerialSetupCommand() { SerialSetup(); }
    bool OnVScroll(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnPaint(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnQueryDragIcon(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnInitMenuPopup(WPARAM wp, LPARAM lp, INT_PTR& result);
    bool OnDestroy(WPARAM wp, LPARAM lp, INT_PTR& result);
    void AddSystemMenuItems();
    void ReadWindowSettings();

    // --- Image files -------------------------------------------------------
    void OpenImageFile();

    // --- Writer link, download and driver ----------------------------------
    void OnDetectConnect();
    void OnDownload();
    void OnSelectMcu();
    void OnDiagnosis();
    void CloseSerialPort();  // at destroy, when a port is open

    // --- Chip operations ---------------------------------------------------
    void OnAuto();
    void OnBlankCheck();
    void OnProgram();
    void OnVerify();
    void OnLock();
    void OnChipInfo();
    void OnCheckId();

    // --- Option view and print ---------------------------------------------
    void ShowOptions();
    void PrintOptions();
    void PinOptionLibrary();
    void UnpinOptionLibrary();

    // --- Serial numbers ----------------------------------------------------
    void ToggleSerial();
    int SerialSetup();  // 1 OK, 2 cancelled

    // --- Start-up and settings ---------------------------------------------
    std::string m_strStartFile;  // used once by OpenImageFile
    Profile& m_profile;
    BodyTable& m_bodyTable;

    // --- Chip bodies (records belong to the table) -------------------------
    const BodyRecord* m_pBody = nullptr;
    const BodyRecord* m_pDriverBody = nullptr;

    // --- Bound texts -------------------------------------------------------
    std::string m_strFileName;    // 1008 image path
    std::string m_strBodyName;    // 1035 selected body
    std::string m_strMessage;     // 1010 message line
    std::string m_strLinkState;   // 1001 "Connected(COM%d)" and the like
    std::string m_strDriverName;  // 1036 body whose driver the writer holds
    std::string m_strSerialText;  // 1002 "S/N:%08XH" or empty
    std::string m_strVersion;     // 1003 writer version

    // --- Window parts ------------------------------------------------------
    HexView m_hexView;
    HICON m_hIcon = nullptr;
    HMENU m_hMenu = nullptr;
    HMODULE m_hPinnedOptionLib = nullptr;  // see PinOptionLibrary
    PathEdit m_pathEdit;

    // --- State -------------------------------------------------------------
    bool m_bBusy = false;  // operation buttons disabled by EnableOperationControls
    bool m_bDownloaded = true;
    bool m_bCheckId = false;
    bool m_bFileImage = false;
    bool m_bVoice = false;
    AutoSteps m_auto;

    // --- Serial numbers ----------------------------------------------------
    bool m_bSerial = false;
    uint32_t m_dwSerial = 0;
    uint32_t m_nSerialAddr[4] = {kDefaultSerialAddr[0], kDefaultSerialAddr[1],
                                 kDefaultSerialAddr[2], kDefaultSerialAddr[3]};
    uint16_t m_wSerialSave[4] = {};

    // --- Writer link (writer/link_win.cpp) ---------------------------------
  public:
    // Reply waits, polling, retries and the search for the writer; it keeps
    // the receive buffer, the port index and the first-connect flag.
    WriterLink& Link() { return m_linkHost.link; }

  private:
    friend class DialogLinkHost;
    WinPort m_port{m_hWnd};
    DialogLinkHost m_linkHost{*this, m_port};
    // Driver check run after the first successful Detect Connect, set by the
    // download side; while it is empty the first connect checks nothing more.
    std::function<bool()> m_fnCheckDriver{[this] { return CheckDriver(); }};
    // --- End of writer link ------------------------------------------------

    // ==== Download, driver, chip operations and serial numbers ============
  public:
    // Driver read-back; repairs the block when it is not valid.
    bool CheckDriver();
    // Range check of the serial-number addresses and save of their words;
    // run after every change of the buffer.
    void CheckSerialAddresses();
    // 1: the S/N label and the checksum with the number patched in; 0: an
    // empty label and the plain checksum.
    void ShowSerialNumber(int flag);

  private:
    friend class WriterOpsHost;
    SerialNumber SerialView();
    OpsState OpsView();
    void RunChipOperation(void (ChipOps::*operation)());
    // "Op&en" follows the operation buttons and stays disabled while a
    // command runs: a new image must not replace the one being sent.
    void UpdateOpenButton();
    bool m_bOpsRunning = false;  // a download or chip command is under way
    // ==== end of download, chip operations and serial numbers =============
};
