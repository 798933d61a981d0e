#include "writer/writer_link.h"

#include <algorithm>
#include <cstdio>

#include "common/byte_order.h"
#include "writer/download.h"

void WriterLink::OnSerialByte(uint8_t byte) {
    if (m_nReceived < kReceiveBufferSize) {
        m_receive[m_nReceived++] = byte;
        return;
    }
    Tell(LinkNews::Kind::kOverflow);
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
        // Sleeps until bytes arrive or the deadline passes; whatever arrived
        // is taken in one go. A reply completes within
        // 255 bytes, so what is read always fits the receive buffer.
        uint8_t chunk[kReceiveBufferSize];
        const size_t room = kReceiveBufferSize - m_nReceived;
        const size_t want = std::min(ReplyBytesMissing(m_receive, m_nReceived), room);
        const size_t n = m_port.Read(chunk, room, want, timeoutMs - elapsed + 1);
        for (size_t i = 0; i < n; ++i) OnSerialByte(chunk[i]);
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

namespace {
// The line failed, whatever the writer did: nothing, or no whole reply, came back.
bool IsLinkFault(uint16_t r) {
    return r == WS_TIMEOUT || r == WS_CHECKSUM || r == WS_BAD_REPLY;
}
}  // namespace

WriterStatus WriterLink::SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected,
                                     uint32_t intervalMs, int progressMax) {
    if (progressMax != 0) {
        TellProgress(LinkNews::Kind::kProgressStart, 0, progressMax);
        TellProgress(LinkNews::Kind::kProgress, 0, progressMax);
    }
    WriterStatus status = WS_OK;
    const bool operation = count > 2 && frame[1] == CMD_OPERATION;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Send(frame, count);
        status = static_cast<WriterStatus>(WaitReply(expected, nullptr, 0));
        // An operation once started runs to its end on the chip: sent again,
        // its blank check would fail on the chip it has just programmed.
        if (status != WS_ACK &&
            !(operation && IsLinkFault(status) && WriterTookCommand(frame[1], frame[2])))
            continue;
        // A writer that hangs in a busy phase keeps answering; it is given up
        // once neither its status nor its progress has moved for a while.
        uint32_t lastPoll = 0x10000;  // no poll result looks like this
        uint32_t movedAt = m_port.TickCount();
        bool stalled = false;
        do {
            // A 0 ms interval polls at once; a zero sleep would only give the
            // processor away between a reply and the next command.
            if (intervalMs) m_port.Sleep(intervalMs);
            uint16_t r = Query(CMD_POLL);
            // The poll's answer lost, not the command: asked again.
            for (int again = 1; operation && again < kAttempts && IsLinkFault(r); ++again)
                r = Query(CMD_POLL);
            status = static_cast<WriterStatus>(r);
            if (IsBusyStatus(status)) m_nLastBusy = status;
            if (BusyStepText(status)) {
                LinkNews busy;
                busy.kind = LinkNews::Kind::kBusy;
                busy.status = status;
                Tell(busy);
            }
            if (progressMax != 0)
                TellProgress(LinkNews::Kind::kProgress, (r >> 8) * 256, progressMax);
            const uint32_t now = m_port.TickCount();
            if (r != lastPoll) {
                lastPoll = r;
                movedAt = now;
            } else if (now - movedAt >= kBusyStallMs) {
                stalled = true;
            }
        } while (IsBusyStatus(status) && !stalled);
        if (!IsRetryable(status) || (operation && IsLinkFault(status))) break;
    }
    if (status == WS_OK && progressMax != 0)
        TellProgress(LinkNews::Kind::kProgress, progressMax, progressMax);
    return status;
}

bool WriterLink::WriterTookCommand(uint8_t code, uint8_t param) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint8_t poll[4] = {};
        Send(MakePollFrame());
        const uint16_t r = WaitReply(CMD_POLL, poll, sizeof poll);
        if (r == WS_REFUSED) return false;
        if (IsLinkFault(r)) continue;
        const uint8_t job = poll[kPollJobByte];
        // Busy means busy with this frame: the one before it had ended.
        if (job == 0) return IsBusyStatus(static_cast<uint8_t>(r));
        return job == code && poll[kPollJobParamByte] == param;
    }
    return true;
}

WriterStatus WriterLink::PollingCommand(uint8_t code) {
    m_nReceived = 0;
    return SendAndPoll(MakeSimpleFrame(code, 0x00), CMD_OPERATION, 100, 0);
}

WriterStatus WriterLink::RunOperation(uint8_t mask, int progressMax) {
    m_nReceived = 0;
    m_nLastBusy = 0;
    return SendAndPoll(MakeOperationFrame(mask), CMD_OPERATION, 150, progressMax);
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

WriterStatus WriterLink::ReadFlash(uint32_t addr, uint8_t count, uint8_t* dest, size_t destSize) {
    const Frame frame = MakeReadFlashFrame(addr, count);
    return static_cast<WriterStatus>(
        static_cast<uint8_t>(Request(frame.bytes, frame.size, CMD_READ_FLASH, dest, destSize)));
}

WriterStatus WriterLink::WriteFlash(uint32_t addr, const uint8_t* bytes, size_t count) {
    const std::vector<uint8_t> frame = DownloadFrame(addr, bytes, count);
    return SendAndPoll(frame.data(), frame.size(), CMD_WRITE_FLASH, 0, 0);
}

WriterStatus WriterLink::WriteDriverBlock(const BodyRecord& body, const WriterSettings& settings) {
    const DriverFrame frame = BuildDriverFrame(body, settings);
    return SendAndPoll(frame.data(), frame.size(), CMD_WRITE_FLASH, 0, 0);
}

WriterStatus WriterLink::EraseDriver() {
    return SendAndPoll(MakeEraseDriverFrame(), CMD_ERASE_DRIVER, 50, 0);
}

WriterStatus WriterLink::Identify(uint8_t* dest, size_t destSize) {
    const Frame frame = MakeSimpleFrame(CMD_IDENTIFY, 0x00);
    return static_cast<WriterStatus>(
        static_cast<uint8_t>(Request(frame.bytes, frame.size, CMD_IDENTIFY, dest, destSize)));
}

WriterStatus WriterLink::ReadBlock(uint32_t addr, uint8_t words, uint8_t* dest, size_t destSize) {
    const Frame frame = MakeReadBlockFrame(addr, words);
    return static_cast<WriterStatus>(
        static_cast<uint8_t>(Request(frame.bytes, frame.size, CMD_READ_BLOCK, dest, destSize)));
}

uint8_t WriterLink::SelfTest(uint8_t& faults) {
    const uint16_t r = Query(CMD_SELFTEST);
    faults = static_cast<uint8_t>(r >> 8);
    return static_cast<uint8_t>(r);
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
    ++m_nSearches;
    if (m_nPortIndex != -1) {
        m_port.Close();
        m_nPortIndex = -1;
    }
    Tell(LinkNews::Kind::kSearching);
    const std::vector<int> ports = m_nOnlyPort > 0 ? std::vector<int>{m_nOnlyPort} : m_ports;
    for (const int n : ports) {
        Tell(LinkNews::Kind::kTrying, n);
        if (m_port.Open(n) && static_cast<uint8_t>(Query(CMD_PING)) == WS_ACK) {
            m_nPortIndex = n - 1;
            break;
        }
        m_port.Close();
        m_nPortIndex = -1;
    }
    const bool connected = m_nPortIndex != -1;
    Tell(connected ? LinkNews::Kind::kFound : LinkNews::Kind::kNotFound,
         connected ? PortNumber() : 0);
    // A port given alone makes the list irrelevant.
    if (m_nOnlyPort <= 0) m_bSearched = true;
    return connected;
}

bool WriterLink::EnsureConnected() {
    if (m_nPortIndex == -1 || static_cast<uint8_t>(Query(CMD_PING)) != WS_ACK) {
        if (!Connect()) return false;
    }
    const uint16_t r = Query(CMD_VERSION);
    m_strFirmware.clear();
    // A version reply that never arrived or failed its sum is no version either.
    if (r != WS_REFUSED && r != WS_BAD_REPLY && r != WS_TIMEOUT && r != WS_CHECKSUM) {
        char text[32];
        std::snprintf(text, sizeof text, "V%02X%02X", r & 0xFF, r >> 8);
        m_strFirmware = text;
    }
    LinkNews versions;
    versions.kind = LinkNews::Kind::kVersions;
    versions.firmware = m_strFirmware;
    Tell(versions);
    return true;
}

bool WriterLink::DetectConnect(const std::function<bool()>& checkDriver) {
    bool ok = EnsureConnected();
    if (ok && m_bFirstConnect) ok = checkDriver();
    m_bFirstConnect = false;
    return ok;
}
