#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/profile.h"
#include "core/front_end.h"
#include "core/window_settings.h"
#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "writer/production_log.h"
#include "writer/port.h"
#include "writer/writer_link.h"

// Passes everything on to the real front end and keeps the last text the
// user was shown, message line or box: what an operation ended with.
class NotingFrontEnd : public FrontEnd {
  public:
    explicit NotingFrontEnd(FrontEnd& front) : m_front(front) {}
    const std::string& LastText() const { return m_strLast; }
    void ForgetText() { m_strLast.clear(); }

    void SetText(FrontText which, const std::string& text) override {
        if (which == FrontText::kMessage) m_strLast = m_strMessage = text;
        m_front.SetText(which, text);
    }
    void AppendMessage(const std::string& text) override {
        m_strLast = m_strMessage += text;
        m_front.AppendMessage(text);
    }
    void PushTexts() override { m_front.PushTexts(); }
    void PullTexts() override { m_front.PullTexts(); }
    void ProgressStart(int maxPos) override { m_front.ProgressStart(maxPos); }
    void ProgressStep(int pos) override { m_front.ProgressStep(pos); }
    void ProgressEnd() override { m_front.ProgressEnd(); }
    int ShowBox(const std::string& text, unsigned flags) override {
        // A question is no result: the command goes on after the answer.
        if (!(flags & kBoxYesNo)) m_strLast = text;
        return m_front.ShowBox(text, flags);
    }
    void Beep() override { m_front.Beep(); }
    bool Breathe() override { return m_front.Breathe(); }
    void EnableOperationControls(bool enable) override { m_front.EnableOperationControls(enable); }
    void EnableInput(bool enable) override { m_front.EnableInput(enable); }
    void ShowRunning(bool running) override { m_front.ShowRunning(running); }
    void ShowModes(bool voice, bool checkId, bool serial) override {
        m_front.ShowModes(voice, checkId, serial);
    }
    void ResetHexView(int maxRow) override { m_front.ResetHexView(maxRow); }
    void Trace(const std::string& text) override { m_front.Trace(text); }

  private:
    FrontEnd& m_front;
    std::string m_strMessage;  // the message line as appended to
    std::string m_strLast;
};

// What one user of the writer works on: the PC buffer, the chip bodies, the
// link to the writer and the settings, with every command a front end offers.
// It reports only through its FrontEnd, so a window and a console can run it
// alike. The operations live beside the rules of their subsystem: images in
// image/, download and chip operations in writer/.
class Session {
  public:
    Session(Profile& profile, FrontEnd& front, Port& port);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    FrontEnd& Front() { return m_front; }
    // The production log of [Log] File (relative names beside the program,
    // `programDir` ending in its separator); its lines name `frontEndName`.
    // Without this call nothing is logged.
    void StartLog(const std::string& frontEndName, const std::string& programDir);
    // The writer on this COM port alone instead of the [Setting] Ports search.
    void UseOnlyPort(int port) { m_link.SetOnlyPort(port); }
    Profile& Settings() { return m_profile; }
    const Profile& Settings() const { return m_profile; }
    const BodyTable& Bodies() const { return m_bodyTable; }
    WriterLink& Link() { return m_link; }
    // Puts another writer under the operations (tests script one).
    // A download or chip command is under way; its waits let the front end
    // take commands, which must then be refused.
    bool IsRunning() const { return m_bOpsRunning; }

    // --- Settings and chip bodies (core/session.cpp) -----------------------
    // [Serial], [Auto] and [Setting] CheckID into memory.
    void ReadSettings();
    // At the end: the serial number with its addresses, and Check ID.
    void WriteSettings();
    // The steps of "&Auto", kept in [Auto] at once.
    void SetAutoSteps(const AutoSteps& steps);
    // The body of [Setting] BodyName, else the first of the table; false (and
    // said so) when the table is empty: the settings file is missing.
    bool SelectStartBody();
    // Forgets the image and the bodies (the program ends).
    void Clear();
    // Makes the body named by [Setting] BodyName current and switches voice
    // mode; returns nullptr (changing nothing) when the table lacks the name.
    const BodyRecord* SelectBody();
    // Writes [Setting] BodyName, then SelectBody; the result is the selected body.
    const BodyRecord* SelectBodyByName(const std::string& name);
    // 0 empties the checksum label; 1 shows the buffer's checksum.
    void ShowChecksum(int flag);
    void ToggleCheckId() { m_bCheckId = !m_bCheckId; }

    // --- Connection (core/session.cpp) --------------------------------------
    // Finds the writer; the first time it also checks the driver block.
    bool OnDetectConnect();

    // --- Images (image/open_image.cpp) ---------------------------------------
    // The Open command: `askPath` names the file (false: none, nothing
    // changes); refused while another command runs, since the new image would
    // mix with the one being sent. True when the front end should download.
    bool OnOpen(const std::function<bool(std::string&)>& askPath);
    // Loads the file into the buffer as the Open command does; true when the
    // front end should go on with a download.
    bool OpenImage(const std::string& path);
    // Writes the buffer as an .otp file for the driver body (option view).
    bool WriteOtpFile(const std::string& path);

    // --- Option view (image/option_view.cpp) --------------------------------
    // The file "&Option..." reports on: the image file, or a temporary .otp
    // that `makeTempPath` names (into tempPath, for the caller to delete) and
    // that is written from the buffer for the driver body. False when there is
    // none; the user was told why.
    bool PrepareOptionFile(const std::function<std::string()>& makeTempPath, std::string& path,
                           std::string& tempPath);

    // --- Download, driver and diagnosis (writer/download.cpp) --------------
    void OnDownload();
    bool EraseDriverArea();
    bool DownloadDriver(bool erase);
    // Driver read-back; repairs the block when it is not valid.
    bool CheckDriver();
    // The part of "MCU..." after the dialog's OK.
    void OnSelectMcu(const std::string& name);
    void OnDiagnosis();

    // --- Chip operations (writer/chip_operations.cpp) -----------------------
    void OnAuto();
    void OnBlankCheck();
    void OnProgram();
    void OnVerify();
    void OnLock();
    void OnChipInfo();
    bool EnterProgramming();

    // --- Serial numbers (image/serial_number.cpp) ---------------------------
    // Range check of the addresses and save of their words; after every
    // change of the buffer.
    void CheckSerialAddresses();
    // 1: the S/N label and the checksum with the number patched in; 0: an
    // empty label and the plain checksum.
    void ShowSerialNumber(int flag);
    // The Serial Number dialog's OK.
    void SetSerialSetup(const SerialDialogResult& setup);

    // --- State the front ends show and the commands change ------------------
    PcBuffer m_buffer;
    BodyTable m_bodyTable;
    const BodyRecord* m_pBody = nullptr;        // selected body; records belong to the table
    const BodyRecord* m_pDriverBody = nullptr;  // body whose driver the writer holds
    std::string m_strFileName;                  // path of the loaded image; empty when none
    bool m_bFileImage = false;                  // the buffer is the image of m_strFileName
    bool m_bDownloaded = true;
    bool m_bCheckId = false;
    bool m_bVoice = false;
    AutoSteps m_auto;
    SerialNumber m_serial;

  private:
    // Runs one command unless another one is under way; false when refused.
    template <class Command>
    bool Exclusive(Command command);

    void DownloadImage();
    bool CheckDriverBlock();
    bool TakeSource(std::vector<uint8_t>& bytes);
    bool CheckData();
    void DownloadPrompt();
    // Runs `body` (true: done) in programming mode and leaves it; true when both went well.
    template <class Body>
    bool Framed(Body body);
    int DriverProgressMax() const;
    // Before a programming pass with numbering on: the chip's serial words
    // blank and the next number saved; false stops the pass.
    bool PrepareSerial();
    // Serial write after a programming pass; false leaves the failure text.
    bool FinishSerial();
    void SetMessage(const std::string& text) { m_front.SetText(FrontText::kMessage, text); }
    // Runs a chip operation (`body` returns pass) and logs its line.
    template <class Body>
    void Logged(const char* operation, Body body);
    void LogOperation(const char* operation, bool pass);
    // A refused [Setting] Ports, said after the command that searched, so
    // the command's own texts do not cover it at once.
    void SayPortsRefusal();

    Profile& m_profile;
    NotingFrontEnd m_noting;
    FrontEnd& m_front;
    WriterLink m_link;
    bool m_bOpsRunning = false;
    ProductionLog m_log{std::string()};
    std::string m_strFrontEndName;
    bool m_bSerialWritten = false;  // the last operation wrote m_dwLoggedSerial
    uint32_t m_dwLoggedSerial = 0;
};

template <class Command>
bool Session::Exclusive(Command command) {
    if (m_bOpsRunning) return false;
    m_bOpsRunning = true;
    m_front.ShowRunning(true);
    struct Running {
        Session& session;
        ~Running() {
            session.m_bOpsRunning = false;
            session.SayPortsRefusal();
            session.m_front.ShowRunning(false);
        }
    } running{*this};
    command();
    return true;
}

template <class Body>
void Session::Logged(const char* operation, Body body) {
    m_noting.ForgetText();
    m_bSerialWritten = false;
    const bool pass = body();
    LogOperation(operation, pass);
}
