#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/process_lock.h"
#include "common/profile.h"
#include "core/command_result.h"
#include "core/front_end.h"
#include "core/production_log.h"
#include "core/session_settings.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "writer/link_report.h"
#include "writer/port.h"
#include "writer/writer_link.h"

// What one user of a writer works on: the PC buffer, the chip bodies, the link
// to the writer and the settings, with every command a front end offers. It
// reports only through its FrontEnd, so a window and a console run it alike;
// every command returns what it did. One session drives one writer.
class Session {
  public:
    Session(Profile& profile, FrontEnd& front, Port& port);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- Set-up -------------------------------------------------------------
    // The production log of [Log] File (relative names beside the program,
    // `programDir` ending in its separator); its lines name `frontEndName`.
    // Without this call nothing is logged.
    void StartLog(const std::string& frontEndName, const std::string& programDir);
    // The log of another session, for writers of one run that keep one log.
    void ShareLogOf(const Session& other);
    // The writer on this COM port alone instead of the [Setting] Ports search.
    void UseOnlyPort(int port) { m_link.SetOnlyPort(port); }
    // The lock every program takes to hand out serial numbers from this
    // settings file (named by its full path). Without it, numbers are unique
    // within this session only.
    void UseSerialLock(const std::string& name);
    // A command is under way; its waits let the front end take commands,
    // which are then refused.
    bool IsRunning() const { return m_bOpsRunning; }

    // --- What the front ends show ----------------------------------------------
    Profile& Settings() { return m_profile; }
    const Profile& Settings() const { return m_profile; }
    const BodyTable& Bodies() const { return m_bodyTable; }
    const PcBuffer& Buffer() const { return m_buffer; }
    const BodyRecord* SelectedBody() const { return m_pBody; }
    const BodyRecord* DriverBody() const { return m_pDriverBody; }
    const std::string& FileName() const { return m_strFileName; }
    bool IsVoice() const { return m_bVoice; }
    bool IsCheckId() const { return m_bCheckId; }
    bool IsDownloaded() const { return m_bDownloaded; }
    const AutoSteps& Auto() const { return m_auto; }
    const SerialNumber& Serial() const { return m_serial; }
    const WriterLink& Link() const { return m_link; }

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
    // Writes [Setting] BodyName and makes that body current, switching voice
    // mode; nullptr (and no body selected) when the table lacks the name.
    const BodyRecord* SelectBodyByName(const std::string& name);
    // Forgets the image and the bodies (the program ends).
    void Clear();
    // 0 empties the checksum label; 1 shows the buffer's checksum.
    void ShowChecksum(int flag);
    void ToggleCheckId() { m_bCheckId = !m_bCheckId; }

    // --- Connection (core/session.cpp) ----------------------------------------
    // Finds the writer; the first time it also checks the driver block.
    CommandResult OnDetectConnect();

    // --- Images (core/session_images.cpp) -------------------------------------
    // The Open command: `askPath` names the file (false: none, nothing
    // changes); refused while another command runs, since the new image would
    // mix with the one being sent. Passed when the front end should download.
    CommandResult OnOpen(const std::function<bool(std::string&)>& askPath);
    // Loads the file into the buffer as the Open command does.
    CommandResult OpenImage(const std::string& path);
    // Takes the image another session loaded, as if it had opened that file:
    // writers of one run load it once.
    CommandResult AdoptImage(const Session& loaded);
    // The file "&Option..." reports on: the image file, or a temporary .otp
    // that `makeTempPath` names (into tempPath, for the caller to delete) and
    // that is written from the buffer for the driver body. False when there is
    // none; the user was told why.
    bool PrepareOptionFile(const std::function<std::string()>& makeTempPath, std::string& path,
                           std::string& tempPath);

    // --- Download, driver and diagnosis (core/session_download.cpp) --------
    CommandResult OnDownload();
    // The part of "MCU..." after the dialog's OK.
    CommandResult OnSelectMcu(const std::string& name);
    CommandResult OnDiagnosis();
    // Driver read-back; repairs the block when it is not valid. False when
    // refused or when the block could be neither read nor repaired.
    bool CheckDriver();

    // --- Chip operations (core/session_chip_ops.cpp) -----------------------
    CommandResult OnBlankCheck();
    CommandResult OnProgram();
    CommandResult OnVerify();
    CommandResult OnLock();
    CommandResult OnAuto();
    CommandResult OnChipInfo();

    // --- Serial numbers (core/session_serial.cpp) -------------------------
    // "&Enable" of the S/N menu; the window runs the dialog in between.
    void SetSerialOn(bool on) { m_serial.m_bSerial = on; }
    // Brings the next number up to what [Serial] Data holds now: other
    // programs may have handed out numbers since this one read it.
    void SyncSerialNumber();
    // Range check of the addresses and save of their words; after every
    // change of the buffer.
    void CheckSerialAddresses();
    // 1: the S/N label and the checksum with the number patched in; 0: an
    // empty label and the plain checksum.
    void ShowSerialNumber(int flag);
    // The Serial Number dialog's OK.
    void SetSerialSetup(const SerialDialogResult& setup);

  private:
    friend class SessionTestAccess;

    // The link's texts reach the front end through here, and the command
    // under way notes the message line they leave.
    class LinkToFront : public LinkReport {
      public:
        explicit LinkToFront(Session& session) : m_session(session) {}
        void SetLinkText(LinkText which, const std::string& text) override;
        void ShowTexts() override;
        void Beep() override;
        void ErrorBox(const std::string& text) override;
        void ProgressStart(int maxPos) override;
        void ProgressStep(int pos) override;
        bool Breathe() override;
        void Searching(bool running) override;
        void Trace(const std::string& text) override;

      private:
        Session& m_session;
    };

    // Runs `command` (returning its outcome) unless another one is under way,
    // and returns what it did. A chip operation names itself for its line in
    // the production log.
    template <class Command>
    CommandResult Exclusive(Command command, const char* logOperation = nullptr);
    void LogOperation(const char* operation, const CommandResult& result);

    // What the command under way shows, noted for its result.
    void SetMessage(const std::string& text);
    void AppendMessage(const std::string& text);
    int ShowBox(const std::string& text, unsigned flags = kBoxOk);
    void SetFileName(const std::string& path);
    // What the user changed on the screen before a command reads it.
    void PullTexts();
    // A failure whose last reply never came: the writer is asked once more
    // whether it is there. A writer that stays silent is a station fault.
    Outcome Failure();

    // Images.
    void ApplyLoad(const ImageLoad& load);
    bool FinishImageLoad();
    bool WriteOtpFile(const std::string& path);

    // Download and driver.
    Outcome DownloadImage();
    bool TakeSource(std::vector<uint8_t>& bytes);
    bool EraseDriverArea();
    bool DownloadDriver(bool erase);
    bool CheckDriverBlock();
    int DriverProgressMax() const;
    // Makes the body named by [Setting] BodyName current and switches voice
    // mode; nullptr (changing nothing) when the table lacks the name.
    const BodyRecord* SelectBody();

    // Chip operations.
    bool HasData();
    // Download it? Yes runs the download; Passed when the operation may go on.
    Outcome DownloadPrompt();
    // Lock and Chip Info: the body must know them (a box says it does not),
    // then the writer must answer.
    Outcome BodyWithLockAndWriter();
    // Runs `body` (its outcome) in programming mode and leaves it.
    template <class Body>
    Outcome Framed(Body body);
    Outcome EnterProgramming();
    Outcome RunOperation(uint8_t mask, int progressMax);
    // What every operation does in programming mode: enter it (with the ID
    // check), the serial words around a programming pass, the one writer
    // operation, and the text of success.
    Outcome OperationPass(uint8_t mask, int progressMax, bool serial, const std::string& passText);

    // Serial numbers around a programming pass: before it, the four words
    // blank in the chip and in the buffer and the next number saved; after
    // it, the words written.
    Outcome PrepareSerial();
    Outcome FinishSerial();
    // True when all four words are blank in the chip (a failed read counts as
    // blank) and in the buffer; shows its message otherwise.
    bool CheckSerialBlank();
    // Writes the four bytes as words (high byte 0); on the first refusal says
    // kSerialWriteFailed. `framesSent` counts the word frames that went out.
    bool WriteSerialNumber(int& framesSent);
    // Takes this chip's number: under the lock, the larger of the file's and
    // ours, with the one after it saved in [Serial] Data. Anything but Passed
    // (said) means the chip must not be programmed.
    Outcome ReserveSerialNumber();
    // A number taken from the file that no chip got goes into the log.
    void LogUnusedSerial(const char* why);

    // A refused [Setting] Ports, said after the command that searched, so
    // the command's own texts do not cover it at once.
    void SayPortsRefusal();

    Profile& m_profile;
    FrontEnd& m_front;
    LinkToFront m_linkReport{*this};
    WriterLink m_link;
    std::shared_ptr<ProductionLog> m_log = std::make_shared<ProductionLog>(std::string());
    std::string m_strFrontEndName;
    bool m_bOpsRunning = false;
    CommandResult m_result;  // of the command under way

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
    bool m_bSerialReserved = false;  // m_serial.m_dwSerial was taken from the file, no chip has it
    bool m_bSerialEnd = false;       // [Serial] End is set
    uint32_t m_dwSerialEnd = 0;
    std::unique_ptr<ProcessLock> m_pSerialLock;
};

template <class Command>
CommandResult Session::Exclusive(Command command, const char* logOperation) {
    if (m_bOpsRunning) {
        CommandResult refused;
        refused.outcome = Outcome::kRefused;
        return refused;
    }
    m_bOpsRunning = true;
    m_result = CommandResult();
    m_link.ForgetLastReply();
    m_front.ShowRunning(true);
    m_result.outcome = command();
    if (m_result.outcome == Outcome::kFailed) m_result.outcome = Failure();
    if (logOperation) LogOperation(logOperation, m_result);
    const CommandResult result = m_result;
    m_bOpsRunning = false;
    SayPortsRefusal();
    m_front.ShowRunning(false);
    return result;
}
