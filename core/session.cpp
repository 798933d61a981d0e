// The session's set-up, settings, chip bodies, connection and production log,
// and how a command notes what it showed.
#include "core/session.h"

#include <algorithm>

#include "writer/port_list.h"

Session::Session(Profile& profile, FrontEnd& front, Port& port)
    : m_profile(profile), m_front(front), m_link(m_linkReport, port) {
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
    m_result.strText = text;
    m_front.SetText(FrontText::kMessage, text);
}

void Session::AppendMessage(const std::string& text) {
    m_result.strText += text;
    m_front.AppendMessage(text);
}

int Session::ShowBox(const std::string& text, unsigned flags) {
    // A question is no result: the command goes on after the answer.
    if (!(flags & kBoxYesNo)) m_result.strText = text;
    return m_front.ShowBox(text, flags);
}

void Session::SetFileName(const std::string& path) {
    m_strFileName = path;
    m_front.SetText(FrontText::kPath, path);
}

void Session::PullTexts() {
    m_front.PullTexts();
    std::string path;
    if (m_front.PulledText(FrontText::kPath, path)) m_strFileName = path;
}

Outcome Session::Failure() {
    if (!m_link.LastReplyTimedOut()) return Outcome::kFailed;
    if (!m_link.IsConnected() || static_cast<uint8_t>(m_link.Query(CMD_PING)) != WS_ACK)
        return Outcome::kNoWriter;
    return Outcome::kFailed;
}

void Session::LinkToFront::SetLinkText(LinkText which, const std::string& text) {
    switch (which) {
        case LinkText::kStatus:
            m_session.SetMessage(text);
            break;
        case LinkText::kLink:
            m_session.m_front.SetText(FrontText::kLink, text);
            break;
        case LinkText::kVersion:
            m_session.m_front.SetText(FrontText::kVersion, text);
            break;
    }
}
void Session::LinkToFront::ShowTexts() {
    m_session.m_front.PushTexts();
}
void Session::LinkToFront::Beep() {
    m_session.m_front.Beep();
}
void Session::LinkToFront::ErrorBox(const std::string& text) {
    m_session.ShowBox(text);
}
void Session::LinkToFront::ProgressStart(int maxPos) {
    m_session.m_front.ProgressStart(maxPos);
}
void Session::LinkToFront::ProgressStep(int pos) {
    m_session.m_front.ProgressStep(pos);
}
bool Session::LinkToFront::Breathe() {
    return m_session.m_front.Breathe();
}
void Session::LinkToFront::Searching(bool running) {
    m_session.m_front.EnableOperationControls(!running);
}
void Session::LinkToFront::Trace(const std::string& text) {
    m_session.m_front.Trace(text);
}

// --- Production log ----------------------------------------------------------

void Session::LogOperation(const char* operation, const CommandResult& result) {
    // A line stands for a chip: an operation that stopped before any frame
    // for the chip went out (no writer, no data) touched none. A download
    // asked for by the operation and failed still counts against it.
    if (!m_log->IsOn()) return;
    if (!result.bChipTouched && result.failedStep != Step::kDownload &&
        result.serial != SerialFate::kUnused)
        return;
    LogRecord r;
    r.time = LocalTimeNow();
    r.strFrontEnd = m_strFrontEndName;
    if (m_link.IsConnected()) {
        r.nPort = m_link.PortNumber();
        r.strFirmware = m_link.Firmware();
    }
    r.strImagePath = m_strFileName;
    if (m_buffer.m_pBin) r.strChecksum = FormatChecksum(BufferChecksum(m_buffer));
    if (m_pBody) r.strBody = m_pBody->szName;
    r.strOperation = operation;
    r.serial = result.serial;
    r.dwSerial = result.dwSerial;
    r.strResult = result.strText;
    r.bPass = result.Passed();
    r.bVerdict = result.serial != SerialFate::kUnused;  // a number no chip got is no chip
    const std::string failure = m_log->Append(r);
    if (!failure.empty()) m_front.Warn(failure);
}

// --- Settings and bodies ---------------------------------------------------

void Session::ReadSettings() {
    const SerialSettings serial = ReadSerialSettings(m_profile);
    m_serial.m_bSerial = serial.bEnable;
    m_serial.m_dwSerial = serial.dwData;
    for (int i = 0; i < 4; ++i) m_serial.m_nSerialAddr[i] = serial.nAddr[i];
    m_bSerialEnd = serial.bHasEnd;
    m_dwSerialEnd = serial.dwEnd;
    m_auto = ReadAutoSteps(m_profile);
    m_bCheckId = m_profile.GetInt("Setting", "CheckID", 0) != 0;
}

void Session::SetAutoSteps(const AutoSteps& steps) {
    m_auto = steps;
    WriteAutoSteps(m_profile, m_auto);
}

void Session::WriteSettings() {
    LogUnusedSerial("Not used: no chip took it before the end");
    {
        // Other programs may have handed out numbers meanwhile: the file
        // never goes back below what it holds.
        ProcessLockGuard guard(m_pSerialLock.get());
        SerialSettings serial;
        serial.dwData = std::max(m_serial.m_dwSerial, ReadSerialSettings(m_profile).dwData);
        for (int i = 0; i < 4; ++i) serial.nAddr[i] = m_serial.m_nSerialAddr[i];
        WriteSerialSettings(m_profile, serial);
    }
    m_profile.WriteInt("Setting", "CheckID", m_bCheckId ? 1 : 0);
}

bool Session::SelectStartBody() {
    m_pBody = SelectBody();
    if (m_pBody) return true;
    if (m_bodyTable.empty()) {
        m_front.ShowBox("Cannot find 'Larkspur.ini'");
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
    m_front.SetText(FrontText::kMcu, body->szName);
    m_front.PushTexts();

    m_bVoice = IsVoiceBodyName(body->szName);
    if (m_bVoice) {
        // Voice chips have no ID check and no room for serial numbers; the
        // settings file keeps its values, only the session's copies change.
        m_bCheckId = false;
        m_serial.m_bSerial = false;
    }
    m_front.ShowModes(m_bVoice, m_bCheckId, m_serial.m_bSerial);
    return body;
}

const BodyRecord* Session::SelectBodyByName(const std::string& name) {
    m_profile.WriteString("Setting", "BodyName", name);
    m_pBody = SelectBody();
    return m_pBody;
}

void Session::ShowChecksum(int flag) {
    if (flag == 0) {
        m_front.SetText(FrontText::kChecksum, "");
    } else if (m_buffer.m_pBin) {
        m_front.SetText(FrontText::kChecksum, FormatChecksum(BufferChecksum(m_buffer)));
    }
}

// --- Connection --------------------------------------------------------------

CommandResult Session::OnDetectConnect() {
    return Exclusive([this] {
        const bool found = m_link.OnDetectConnect([this] { return CheckDriverBlock(); });
        if (!m_link.IsConnected()) return Outcome::kNoWriter;
        return found ? Outcome::kPassed : Outcome::kFailed;
    });
}

void Session::SayPortsRefusal() {
    const std::string text = m_link.TakePortsMessage();
    if (text.empty()) return;
    m_front.Warn(text);
    m_front.Trace(text + "\r\n");
}
