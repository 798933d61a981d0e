#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "common/process_lock.h"
#include "common/profile.h"
#include "core/command_result.h"
#include "core/reporter.h"
#include "core/production_log.h"
#include "core/serial_settings_source.h"
#include "core/session_settings.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "writer/link_news.h"
#include "writer/port.h"
#include "writer/writer_link.h"

// A box's answer as the session passes it on.
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// What one user of a writer works on: the PC buffer, the chip bodies, the link
// to the writer and the settings, with every command a front end offers. It
// reports only through its Reporter, so a window and a console run it alike;
// every command returns what it did. One session drives one writer; its
// commands may run on a thread other than the front end's.
class Session {
  public:
    Session(Profile& profile, Reporter& report, Port& port);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- Set-up -------------------------------------------------------------
    // The production log of [Log] File (relative names beside the program,
    // `programDir` ending in its separator); its lines name `frontEndName`.
    // Without this call nothing is logged.
    void StartLog(const std::string& frontEndName, const std::string& programDir);
    // The log of another session, for writers of one run that keep one log.
    void ShareLogOf(const Session& other);
    ProductionLog& Log() { return *m_log; }
    // The writer on this COM port alone instead of the [Setting] Ports search.
    void UseOnlyPort(int port) { m_link.SetOnlyPort(port); }
    // A search list other than [Setting] Ports, such as one resolved from USB names.
    void UsePorts(const PortList& list) { m_link.SetPorts(list); }
    // The gang position this writer holds, named in its log records.
    void UsePosition(const std::string& name) { m_strPosition = name; }
    // The lock every program takes to hand out serial numbers from this
    // settings file (named by its full path). Without it, numbers are unique
    // within this session only.
    void UseSerialLock(const std::string& name);
    // A number another program reserved and took with it when it died may be
    // in a chip: each is logged as burned, once, so every number [Serial] Data
    // passed over is in the log. Returns them, with what a log that cannot be
    // written said.
    std::vector<uint32_t> LogNumbersLeftByACrash(std::string& logFailure);
    // The text of such a record.
    static const char kFoundAfterACrash[];
    // Where the numbers come from instead of [Serial] Data (a ledger); it
    // outlives the session.
    void UseSerialSource(SerialSource& source) { m_pSource = &source; }
    // Where each record of the log goes as well (a ledger's queue); it
    // outlives the session. Null: none.
    void UseRecordSink(RecordSink* sink) { m_pSink = sink; }
    // A sealed job's run: its file stands for the image in the log, whose
    // lines name the job's code and the lot.
    void SetJobRecord(const std::string& jobPath, const std::string& code, const std::string& lot) {
        m_strJobPath = jobPath;
        m_strJobCode = code;
        m_strLot = lot;
    }
    // A command is under way; another one is refused meanwhile.
    bool IsRunning() const { return m_bOpsRunning; }
    // The image path as the user left it on the screen, before a command reads it.
    void UsePath(const std::string& path) { m_strFileName = path; }

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
    const AutoSteps& AutoSetup() const { return m_auto; }
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
    CommandResult DetectConnect();

    // --- Images (core/session_images.cpp) -------------------------------------
    // The Open command: `askPath` names the file (false: none, nothing
    // changes); refused while another command runs, since the new image would
    // mix with the one being sent. Passed when the front end should download.
    CommandResult Open(const std::function<bool(std::string&)>& askPath);
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
    CommandResult Download();
    // The part of "MCU..." after the dialog's OK.
    CommandResult SelectMcu(const std::string& name);
    CommandResult Diagnosis();
    // Driver read-back; repairs the block when it is not valid. False when
    // refused or when the block could be neither read nor repaired.
    bool CheckDriver();

    // --- Chip operations (core/session_chip_ops.cpp) -----------------------
    CommandResult BlankCheck();
    CommandResult Program();
    CommandResult Verify();
    CommandResult Lock();
    CommandResult Auto();
    CommandResult ChipInfo();

    // --- Serial numbers (core/session_serial.cpp) -------------------------
    // "&Enable" of the S/N menu; the window runs the dialog in between.
    void SetSerialOn(bool on) { m_serial.m_bSerial = on; }
    // False, with a box naming it, when [Serial] Data is no number while the
    // file hands out the numbers: no chip gets one until it is mended.
    bool CheckSerialData();
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
    // The link's news, shown as every front end shows it; the command under
    // way notes the message line it leaves.
    void OnLinkNews(const LinkNews& news);

    // Runs `command` (returning its outcome or its result) unless another one is under way,
    // and returns what it did. A chip operation names itself for its line in
    // the production log.
    template <class Command>
    CommandResult Exclusive(Command command, const char* logOperation = nullptr);
    void LogOperation(const char* operation, const CommandResult& result);
    // To the record sink, then the log; what could not keep it is said.
    void Record(const LogRecord& r);

    // What the command under way shows, noted for its result.
    void SetMessage(const std::string& text);
    void AppendMessage(const std::string& text);
    int ShowBox(const std::string& text, unsigned flags = kBoxOk);
    void SetFileName(const std::string& path);
    void Text(Slot slot, const std::string& text) { m_report.Report(Event::Text(slot, text)); }
    void Beep() { m_report.Report(Event::Of(Event::Kind::kBeep)); }
    void Progress(int pos, int max);
    // A failure whose last reply never came: the writer is asked once more
    // whether it is there. A writer that stays silent is a station fault.
    Outcome Failure();
    // Asks that question now, once per command: before a failure's text, so
    // the command ends as soon as the user reads it.
    bool WriterSilent();

    // The writer's own steps, each saying its failure once: a mode command or
    // the flash erase with its failure text, an operation with its step text.
    uint8_t ModeCommand(uint8_t code);
    uint8_t WriterOperation(uint8_t mask, int progressMax);
    // A writer status as the user reads it: a box (modal) or the message line with a beep.
    void SayWriterError(uint8_t status, bool modal);

    // Images.
    Outcome ApplyLoad(const ImageLoad& load);
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
    CommandResult DownloadPrompt();
    // Lock and Chip Info: the body must know them (a box says it does not),
    // then the writer must answer.
    Outcome BodyWithLockAndWriter();
    // Runs `body` (its part of the result) in programming mode and leaves it.
    template <class Body>
    CommandResult Framed(Body body);
    CommandResult EnterProgramming();
    CommandResult RunOperation(uint8_t mask, int progressMax);
    // What every operation does in programming mode: enter it (with the ID
    // check), the serial words around a programming pass, the one writer
    // operation, and the text of success.
    CommandResult OperationPass(uint8_t mask, int progressMax, bool serial,
                                const std::string& passText);

    // Serial numbers around a programming pass: before it, the four words
    // blank in the chip and in the buffer and the next number saved; after
    // it, the words written.
    CommandResult PrepareSerial();
    CommandResult FinishSerial();
    // True when all four words are blank in the chip (a failed read counts as
    // blank) and in the buffer; shows its message otherwise.
    bool CheckSerialBlank();
    // Writes the four bytes as words (high byte 0); on the first refusal says
    // kSerialWriteFailed. `framesSent` counts the word frames that went out.
    bool WriteSerialNumber(int& framesSent);
    // Takes this chip's number from the source. Anything but Passed (said)
    // means the chip must not be programmed.
    Outcome ReserveSerialNumber();
    // A number taken from the file that no chip got goes into the log.
    void LogUnusedSerial(const char* why);

    // A refused [Setting] Ports, said after the command that searched, so
    // the command's own texts do not cover it at once.
    void SayPortsRefusal();
    // A failure of the system's port calls during the command, in its box.
    void SayPortFailure();

    Profile& m_profile;
    Reporter& m_report;
    SettingsSerialSource m_settingsSource{m_profile};
    SerialSource* m_pSource = &m_settingsSource;
    RecordSink* m_pSink = nullptr;
    WriterLink m_link;
    std::shared_ptr<ProductionLog> m_log = std::make_shared<ProductionLog>(std::string());
    std::string m_strFrontEndName;
    std::string m_strJobPath, m_strJobCode, m_strLot;
    std::string m_strPosition;
    bool m_bOpsRunning = false;
    // What the command under way has noted so far; each command starts afresh.
    struct UnderWay {
        std::string shown;            // the last text it showed
        int writerSilent = -1;        // WriterSilent's answer; -1 before it asked
        bool controlsFollow = false;  // it sent an image
    } m_now;

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
    bool m_bSerialReserved = false;  // m_serial.m_dwSerial was reserved, no chip has it
};

template <class Command>
CommandResult Session::Exclusive(Command command, const char* logOperation) {
    if (m_bOpsRunning) {
        CommandResult refused;
        refused.outcome = Outcome::kRefused;
        return refused;
    }
    m_bOpsRunning = true;
    m_now = UnderWay();
    m_link.ForgetLastReply();
    const int searches = m_link.Searches();
    m_report.Report(Event::Of(Event::Kind::kStarted));
    CommandResult result;
    if constexpr (std::is_same_v<decltype(command()), Outcome>)
        result.outcome = command();
    else
        result = command();
    result.strText = m_now.shown;
    if (result.outcome == Outcome::kFailed) result.outcome = Failure();
    if (logOperation) LogOperation(logOperation, result);
    m_bOpsRunning = false;
    SayPortFailure();
    SayPortsRefusal();
    Event ended = Event::Of(Event::Kind::kEnded);
    ended.pos = m_now.controlsFollow || m_link.Searches() != searches ? 1 : 0;
    m_report.Report(ended);
    return result;
}
