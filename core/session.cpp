#include "core/session.h"

Session::Session(Profile& profile, FrontEnd& front, Port& port)
    : m_profile(profile), m_noting(front), m_front(m_noting), m_link(m_noting, port) {
    LoadBodyTable(m_profile, m_bodyTable);
    m_link.SetPorts(ReadPortList(m_profile));
}

void Session::StartLog(const std::string& frontEndName, const std::string& programDir) {
    m_strFrontEndName = frontEndName;
    m_log = ProductionLog(ReadLogPath(m_profile, programDir));
}

void Session::LogOperation(const char* operation, bool pass) {
    if (!m_log.IsOn()) return;
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
    r.bSerial = m_bSerialWritten;
    r.dwSerial = m_dwLoggedSerial;
    r.strResult = m_noting.LastText();
    r.bPass = pass;
    const std::string failure = m_log.Append(r);
    if (failure.empty()) return;
    // After the operation's own text, which stays readable before it.
    m_front.AppendMessage(" " + failure);
    m_front.PushTexts();
}

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
    SerialSettings serial;
    serial.dwData = m_serial.m_dwSerial;
    for (int i = 0; i < 4; ++i) serial.nAddr[i] = m_serial.m_nSerialAddr[i];
    WriteSerialSettings(m_profile, serial);
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

bool Session::OnDetectConnect() {
    const bool ok = m_link.OnDetectConnect([this] { return CheckDriver(); });
    SayPortsRefusal();
    return ok;
}

void Session::SayPortsRefusal() {
    const std::string text = m_link.TakePortsMessage();
    if (text.empty()) return;
    m_front.AppendMessage(" " + text);
    m_front.Trace(text + "\r\n");
    m_front.PushTexts();
}
