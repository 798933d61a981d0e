#include "writer/writer_link.h"

#include <algorithm>
#include <cstdio>

#include "common/byte_order.h"

void WriterLink::OnSerialByte(uint8_t byte) {
    if (m_nReceived < kReceiveBufferSize) {
        m_receive[m_nReceived++] = byte;
        return;
    }
    m_report.ErrorBox("Receive Buffer overflow!");
}

void WriterLink::Send(const uint8_t* frame, size_t count) {
    m_nReceived = 0;
    m_port.Write(frame, count);
    // Bytes let through while the write was handed over predate the command.
    m_nReceived = 0;
}

uint16_t WriterLink::WaitReply(uint8_t expected, uint8_t* dest, size_t destSize,
                               uint32_t timeoutMs) {
    const uint32_t start = m_port.TickCount();
    // Every wait follows a command. While the line carries it the window
    // catches up (up to 200 messages, stopping at the first empty look): its
    // painting then costs no time between a reply and the next command.
    for (int i = 0; i < kLateDispatches && m_report.Breathe(); ++i) {
    }
    uint16_t result;
    for (;;) {
        // A reply already in the buffer wins over a deadline that passed while
        // its last bytes were being read.
        if (ReplyComplete(m_receive, m_nReceived)) {
            result = DecodeReply(expected, m_receive, m_nReceived, dest, destSize);
            break;
        }
        const uint32_t elapsed = m_port.TickCount() - start;
        if (elapsed > timeoutMs) {
            result = WS_TIMEOUT;
            break;
        }
        // Sleeps until bytes arrive, the deadline passes or the window has
        // input; whatever arrived is taken in one go. A reply completes within
        // 255 bytes, so what is read always fits the receive buffer.
        uint8_t chunk[kReceiveBufferSize];
        const size_t room = kReceiveBufferSize - m_nReceived;
        const size_t want = std::min(ReplyBytesMissing(m_receive, m_nReceived), room);
        const size_t n = m_port.Read(chunk, room, want, timeoutMs - elapsed + 1);
        for (size_t i = 0; i < n; ++i) OnSerialByte(chunk[i]);
        // The window breathes at every wake but the one that completes the reply.
        if (!ReplyComplete(m_receive, m_nReceived)) m_report.Breathe();
    }
    m_bTimedOut = result == WS_TIMEOUT;
    // A reply is read no further than its length byte says, so whatever came
    // with a broken one may still be on its way.
    const bool junk =
        result == WS_TIMEOUT ? m_nReceived > 0 : result == WS_BAD_REPLY || result == WS_CHECKSUM;
    if (junk) LetLineFallQuiet();
    // Bytes that arrive late stay in the port, which drops them when the next
    // command is written.
    m_nReceived = 0;
    return result;
}

void WriterLink::LetLineFallQuiet() {
    const uint32_t start = m_port.TickCount();
    uint8_t dropped[kReceiveBufferSize];
    while (m_port.TickCount() - start < kReplyTimeout) {
        const uint32_t before = m_port.TickCount();
        const size_t n = m_port.Read(dropped, sizeof dropped, sizeof dropped, kQuietMs);
        if (n == 0 && m_port.TickCount() - before >= kQuietMs) break;
        m_report.Breathe();
    }
}

uint16_t WriterLink::Query(uint8_t command) {
    m_nReceived = 0;
    if (command == CMD_POLL) {
        Send(MakePollFrame());
    } else if (command == CMD_PING || command == CMD_VERSION || command == CMD_SELFTEST) {
        Send(MakeSimpleFrame(command, 0x00));
    }
    return WaitReply(command, nullptr, 0);
}

WriterStatus WriterLink::SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected,
                                     uint32_t intervalMs, int progressMax) {
    if (progressMax != 0) {
        m_report.ProgressStart(progressMax);
        m_report.ProgressStep(0);
    }
    WriterStatus status = WS_OK;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Send(frame, count);
        status = static_cast<WriterStatus>(WaitReply(expected, nullptr, 0));
        if (status != WS_ACK) continue;
        // A writer that hangs in a busy phase keeps answering; it is given up
        // once neither its status nor its progress has moved for a while.
        uint32_t lastPoll = 0x10000;  // no poll result looks like this
        uint32_t movedAt = m_port.TickCount();
        bool stalled = false;
        do {
            // A 0 ms interval polls at once; a zero sleep would only give the
            // processor away between a reply and the next command.
            if (intervalMs) m_port.Sleep(intervalMs);
            const uint16_t r = Query(CMD_POLL);
            status = static_cast<WriterStatus>(r);
            if (IsBusyStatus(status)) m_nLastBusy = status;
            if (const char* text = BusyStepText(status))
                m_report.SetLinkText(LinkText::kStatus, text);
            m_report.ShowTexts();
            if (progressMax != 0) m_report.ProgressStep((r >> 8) * 256);
            const uint32_t now = m_port.TickCount();
            if (r != lastPoll) {
                lastPoll = r;
                movedAt = now;
            } else if (now - movedAt >= kBusyStallMs) {
                stalled = true;
            }
        } while (IsBusyStatus(status) && !stalled);
        if (!IsRetryable(status)) break;
    }
    if (status == WS_OK && progressMax != 0) m_report.ProgressStep(progressMax);
    return status;
}

WriterStatus WriterLink::PollingCommand(uint8_t code) {
    const char* failure;
    switch (code) {
        case CMD_ENTER_PROG:
            failure = "Failed to enter programming mode!";
            break;
        case CMD_EXIT_PROG:
            failure = "Failed to exit programming mode!";
            break;
        case CMD_ERASE_FLASH:
            failure = "Failed to erase flash rom!";
            break;
        default:
            m_report.ErrorBox("Invalid Polling Command!");
            return WS_OK;
    }
    m_nReceived = 0;
    const WriterStatus status = SendAndPoll(MakeSimpleFrame(code, 0x00), CMD_OPERATION, 100, 0);
    if (status != WS_OK) {
        m_report.Beep();
        m_report.SetLinkText(LinkText::kStatus, failure);
        m_report.ShowTexts();
    }
    return status;
}

WriterStatus WriterLink::RunOperation(uint8_t mask, int progressMax) {
    m_nReceived = 0;
    m_nLastBusy = 0;
    if (const char* text = OperationStepText(mask)) m_report.SetLinkText(LinkText::kStatus, text);
    m_report.ShowTexts();
    const WriterStatus status =
        SendAndPoll(MakeOperationFrame(mask), CMD_OPERATION, 150, progressMax);
    if (status != WS_OK) ShowWriterError(status, false);
    return status;
}

int WriterLink::ShowWriterError(uint8_t status, bool modal) {
    if (status == WS_OK) return 1;
    const std::string text = WriterStatusMessage(status);
    if (modal) {
        m_report.ErrorBox(text);
    } else {
        m_report.Beep();
        m_report.SetLinkText(LinkText::kStatus, text);
        m_report.ShowTexts();
    }
    m_report.Trace(text + "\r\n");
    return IsBusyStatus(status) ? 2 : 0;
}

uint16_t WriterLink::ReadWord(uint32_t addr) {
    Send(MakeReadWordFrame(addr));
    uint8_t word[2] = {0, 0};
    if (WaitReply(CMD_READ_WORD, word, sizeof word) != WS_OK) return 0;
    return GetLe16(word);
}

WriterStatus WriterLink::WriteWord(uint32_t addr, uint16_t word) {
    return SendAndPoll(MakeWriteWordFrame(addr, word), CMD_WRITE_WORD, 0, 0);
}

void WriterLink::SetPorts(const PortList& list) {
    m_ports = list.ports;
    m_strPortsMessage = list.strMessage;
    m_bSearched = false;
}

std::string WriterLink::TakePortsMessage() {
    if (!m_bSearched) return std::string();
    return std::move(m_strPortsMessage);
}

bool WriterLink::Connect() {
    m_report.Searching(true);
    if (m_nPortIndex != -1) {
        m_port.Close();
        m_nPortIndex = -1;
    }
    m_report.SetLinkText(LinkText::kStatus, "Connecting to Pyrograph...");
    m_report.ShowTexts();
    const std::vector<int> ports = m_nOnlyPort > 0 ? std::vector<int>{m_nOnlyPort} : m_ports;
    for (const int n : ports) {
        m_report.SetLinkText(LinkText::kLink, DetectingLinkText(n));
        m_report.ShowTexts();
        m_report.Breathe();
        if (m_port.Open(n) && static_cast<uint8_t>(Query(CMD_PING)) == WS_ACK) {
            m_nPortIndex = n - 1;
            break;
        }
        m_port.Close();
        m_nPortIndex = -1;
    }
    const bool connected = m_nPortIndex != -1;
    if (connected) {
        m_report.SetLinkText(LinkText::kStatus, "Connect with Pyrograph.");
        m_report.SetLinkText(LinkText::kLink, ConnectedLinkText(PortNumber()));
    } else {
        m_report.SetLinkText(LinkText::kStatus, "Disconnected from the Pyrograph.");
        m_report.SetLinkText(LinkText::kLink, "Disconnected");
    }
    // A port given alone makes the list irrelevant.
    if (m_nOnlyPort <= 0) m_bSearched = true;
    m_report.ShowTexts();
    m_report.Searching(false);
    return connected;
}

bool WriterLink::EnsureConnected() {
    if (m_nPortIndex == -1 || static_cast<uint8_t>(Query(CMD_PING)) != WS_ACK) {
        if (!Connect()) return false;
    }
    std::string version = kSoftwareVersionText;
    const uint16_t r = Query(CMD_VERSION);
    m_strFirmware.clear();
    // A version reply that never arrived or failed its sum is no version either.
    if (r != WS_REFUSED && r != WS_BAD_REPLY && r != WS_TIMEOUT && r != WS_CHECKSUM) {
        char text[32];
        std::snprintf(text, sizeof text, "V%02X%02X", r & 0xFF, r >> 8);
        m_strFirmware = text;
        version += ", Firmware(" + m_strFirmware + ")";
    }
    m_strVersion = version;
    m_report.SetLinkText(LinkText::kVersion, version);
    m_report.ShowTexts();
    return true;
}

bool WriterLink::OnDetectConnect(const std::function<bool()>& checkDriver) {
    bool ok = EnsureConnected();
    if (ok && m_bFirstConnect) {
        m_report.Breathe();
        ok = checkDriver();
    }
    m_bFirstConnect = false;
    return ok;
}
