// The session's set-up, settings, chip bodies, connection and production log,
// and how a command notes what it showed.
#include "core/session.h"

#include <algorithm>

#include "core/link_texts.h"
#include "writer/port_list.h"
#include "writer/protocol.h"

Session::Session(Profile& profile, Reporter& report, Port& port)
    : m_profile(profile),
      m_report(report),
      m_link(port, [this](const LinkNews& news) { OnLinkNews(news); }) {
    LoadBodyTable(m_profile, m_bodyTable);
    m_link.SetPorts(ReadPortList(m_profile));
}

void Session::StartLog(const std::string& frontEndName, const std::string& programDir) {
    m_strFrontEndName = frontEndName;
    m_log = std::make_shared<ProductionLog>(ReadLogPath(m_profile, programDir));
}

void Session::ShareLogOf(const Session& other) {
    m_strFrontEndName = other.m_strFrontEndName;
    m_log = other.m_log;
}

// --- What a command shows --------------------------------------------------

void Session::SetMessage(const std::string& text) {
    m_now.shown = text;
    Text(Slot::kMessage, text);
}

void Session::AppendMessage(const std::string& text) {
    m_now.shown += text;
    m_report.Report(Event::Of(Event::Kind::kAppend, text));
}

int Session::ShowBox(const std::string& text, unsigned flags) {
    // A question is no result: the command goes on after the answer.
    if (flags & kBoxYesNo) return m_report.Ask(text) ? kAnswerYes : kAnswerNo;
    m_now.shown = text;
    Event box = Event::Of(Event::Kind::kBox, text);
    box.flags = flags;
    m_report.Report(box);
    return kAnswerOk;
}

void Session::Progress(int pos, int max) {
    Event e = Event::Of(Event::Kind::kProgress);
    e.pos = pos;
    e.max = max;
    m_report.Report(e);
}

void Session::SetFileName(const std::string& path) {
    m_strFileName = path;
    Text(Slot::kPath, path);
}

bool Session::WriterSilent() {
    if (m_now.writerSilent < 0) m_now.writerSilent = !m_link.IsConnected() || !m_link.Ping();
    return m_now.writerSilent != 0;
}

Outcome Session::Failure() {
    if (!m_link.LastReplyTimedOut() && m_now.writerSilent < 0) return Outcome::kFailed;
    return WriterSilent() ? Outcome::kNoWriter : Outcome::kFailed;
}

uint8_t Session::ModeCommand(uint8_t code) {
    const uint8_t status = m_link.PollingCommand(code);
    if (status == WS_OK) return status;
    // Whether the writer is still there is settled before the text, which
    // then is the last thing the command shows.
    if (m_link.LastReplyTimedOut()) WriterSilent();
    Beep();
    SetMessage(code == CMD_ENTER_PROG  ? "Failed to enter programming mode!"
               : code == CMD_EXIT_PROG ? "Failed to exit programming mode!"
                                       : "Failed to erase flash rom!");
    return status;
}

uint8_t Session::WriterOperation(uint8_t mask, int progressMax) {
    if (const char* text = OperationStepText(mask)) SetMessage(text);
    const uint8_t status = m_link.RunOperation(mask, progressMax);
    if (status != WS_OK) SayWriterError(status, false);
    return status;
}

void Session::SayWriterError(uint8_t status, bool modal) {
    if (status == WS_OK) return;
    const std::string text = WriterStatusMessage(status);
    if (modal) {
        ShowBox(text);
    } else {
        Beep();
        SetMessage(text);
    }
}

void Session::OnLinkNews(const LinkNews& news) {
    for (const Event& e : LinkNewsEvents(news)) {
        if (e.kind == Event::Kind::kBox)
            ShowBox(e.text, e.flags);
        else if (e.kind == Event::Kind::kText && e.slot == Slot::kMessage)
            SetMessage(e.text);
        else
            m_report.Report(e);
    }
}

// --- Production log ----------------------------------------------------------

void Session::LogOperation(const char* operation, const CommandResult& result) {
    // The fate is settled with the source as it is logged, whatever the log does.
    if (result.serial == SerialFate::kWritten) m_pSource->MarkWritten(result.dwSerial);
    if (result.serial == SerialFate::kBurned) m_pSource->MarkBurned(result.dwSerial);
    if (result.serial == SerialFate::kUnused) m_pSource->MarkUnused(result.dwSerial);
    // A line stands for a chip: an operation that stopped before any frame
    // for the chip went out (no writer, no data) touched none. A download
    // asked for by the operation and failed still counts against it.
    if (!m_log->IsOn() && !m_pSink) return;
    if (!result.bChipTouched && result.failedStep != Step::kDownload &&
        result.serial != SerialFate::kUnused)
        return;
    LogRecord r;
    r.time = LocalTimeNow();
    r.strFrontEnd = m_strFrontEndName;
    r.strPosition = m_strPosition;
    if (m_link.IsConnected()) {
        r.nPort = m_link.PortNumber();
        r.strFirmware = m_link.Firmware();
    }
    r.strImagePath = m_strJobPath.empty() ? m_strFileName : m_strJobPath;
    r.strJob = m_strJobCode;
    r.strLot = m_strLot;
    if (m_buffer.m_pBin) r.strChecksum = FormatChecksum(BufferChecksum(m_buffer));
    if (m_pBody) r.strBody = m_pBody->szName;
    r.strOperation = operation;
    r.serial = result.serial;
    r.dwSerial = result.dwSerial;
    r.strResult = result.strText;
    r.bPass = result.Passed();
    r.bVerdict = result.serial != SerialFate::kUnused;  // a number no chip got is no chip
    Record(r);
}

void Session::Record(const LogRecord& r) {
    for (const std::string& failure :
         {m_pSink ? m_pSink->Record(r) : std::string(), m_log->IsOn() ? m_log->Append(r) : ""})
        if (!failure.empty()) m_report.Report(Event::Of(Event::Kind::kWarning, failure));
}

// --- Settings and bodies ---------------------------------------------------

void Session::ReadSettings() {
    const SerialSettings serial = ReadSerialSettings(m_profile);
    m_serial.m_bSerial = serial.bEnable;
    m_serial.m_dwSerial = serial.dwData;
    for (int i = 0; i < 4; ++i) m_serial.m_nSerialAddr[i] = serial.nAddr[i];
    m_auto = ReadAutoSteps(m_profile);
    m_bCheckId = m_profile.GetInt("Setting", "CheckID", 0) != 0;
}

void Session::SetAutoSteps(const AutoSteps& steps) {
    m_auto = steps;
    WriteAutoSteps(m_profile, m_auto);
}

void Session::WriteSettings() {
    LogUnusedSerial("Not used: no chip took it before the end");
    // Other programs may have handed out numbers meanwhile: the file never
    // goes back below what it holds. Every key is written under the lock, as a
    // write of any key rewrites the file, [Serial] Data too.
    ProcessLockGuard guard(m_settingsSource.Lock());
    SerialSettings serial;
    const SerialSettings file = ReadSerialSettings(m_profile);
    serial.dwData = file.dwData;
    // Numbers from elsewhere (a ledger) are not the file's to keep.
    if (m_pSource == &m_settingsSource) serial.dwData = std::max(m_serial.m_dwSerial, file.dwData);
    serial.bDataValid = file.bDataValid;
    serial.bPastLast = file.bPastLast;
    for (int i = 0; i < 4; ++i) serial.nAddr[i] = m_serial.m_nSerialAddr[i];
    WriteSerialSettings(m_profile, serial);
    m_profile.WriteInt("Setting", "CheckID", m_bCheckId ? 1 : 0);
}

bool Session::SelectStartBody() {
    m_pBody = SelectBody();
    if (m_pBody) return true;
    if (m_bodyTable.empty()) {
        ShowBox("Cannot find 'Larkspur.ini'");
        return false;
    }
    m_pBody = m_bodyTable.begin()->second.get();
    return true;
}

void Session::Clear() {
    m_buffer.FreeBlocks();
    m_pBody = nullptr;
    m_pDriverBody = nullptr;
    m_bodyTable.clear();
}

const BodyRecord* Session::SelectBody() {
    const BodyRecord* body = FindSelectedBody(m_profile, m_bodyTable);
    if (!body) return nullptr;
    Text(Slot::kMcu, body->szName);

    m_bVoice = IsVoiceBodyName(body->szName);
    if (m_bVoice) {
        // Voice chips have no ID check and no room for serial numbers; the
        // settings file keeps its values, only the session's copies change.
        m_bCheckId = false;
        m_serial.m_bSerial = false;
    }
    Event modes = Event::Of(Event::Kind::kModes);
    modes.voice = m_bVoice;
    modes.checkId = m_bCheckId;
    modes.serial = m_serial.m_bSerial;
    m_report.Report(modes);
    return body;
}

const BodyRecord* Session::SelectBodyByName(const std::string& name) {
    m_profile.WriteString("Setting", "BodyName", name);
    m_pBody = SelectBody();
    return m_pBody;
}

void Session::ShowChecksum(int flag) {
    if (flag == 0) {
        Text(Slot::kChecksum, "");
    } else if (m_buffer.m_pBin) {
        Text(Slot::kChecksum, FormatChecksum(BufferChecksum(m_buffer)));
    }
}

// --- Connection --------------------------------------------------------------

CommandResult Session::DetectConnect() {
    return Exclusive([this] {
        const bool found = m_link.DetectConnect([this] { return CheckDriverBlock(); });
        if (!m_link.IsConnected()) return Outcome::kNoWriter;
        return found ? Outcome::kPassed : Outcome::kFailed;
    });
}

void Session::SayPortFailure() {
    const PortFailure failure = m_link.TakePortFailure();
    if (failure.text.empty()) return;
    Event box = Event::Of(Event::Kind::kBox, failure.text);
    if (failure.bApplicationError) {
        box.caption = "Application Error";
        box.flags = kBoxStop;
    }
    m_report.Report(box);
}

void Session::SayPortsRefusal() {
    const std::string text = m_link.TakePortsMessage();
    if (text.empty()) return;
    m_report.Report(Event::Of(Event::Kind::kWarning, text));
}
