#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "writer/driver_block.h"
#include "writer/driver_timing.h"
#include "writer/link_news.h"
#include "writer/port.h"
#include "writer/port_list.h"
#include "writer/protocol.h"

// Reply waits, polling, retries and the search for the writer.
class WriterLink {
  public:
    static constexpr uint32_t kReplyTimeout = 1000;
    static constexpr int kAttempts = 3;
    // A busy phase whose poll status and progress stay the same this long
    // ends the command with that busy status.
    static constexpr uint32_t kBusyStallMs = 30000;
    // After bytes that were no good reply, the line counts as quiet once
    // nothing more arrived for this long.
    static constexpr uint32_t kQuietMs = 50;

    explicit WriterLink(Port& port, LinkListener listen = {})
        : m_listen(std::move(listen)), m_port(port) {}

    // Receive buffer, fed from the port inside reply waits.
    void OnSerialByte(uint8_t byte);
    void ResetReceive() { m_nReceived = 0; }
    size_t ReceivedCount() const { return m_nReceived; }

    // Writes a frame after clearing the receive buffer.
    void Send(const uint8_t* frame, size_t count);
    void Send(const Frame& f) { Send(f.bytes, f.size); }

    // Send, then WaitReply with the usual time-out.
    uint16_t Request(const uint8_t* frame, size_t count, uint8_t expected, uint8_t* dest,
                     size_t destSize) {
        Send(frame, count);
        return WaitReply(expected, dest, destSize);
    }
    uint16_t WaitReply(uint8_t expected, uint8_t* dest, size_t destSize,
                       uint32_t timeoutMs = kReplyTimeout);
    uint16_t Query(uint8_t command);
    WriterStatus SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected,
                             uint32_t intervalMs, int progressMax);
    WriterStatus SendAndPoll(const Frame& f, uint8_t expected, uint32_t intervalMs,
                             int progressMax) {
        return SendAndPoll(f.bytes, f.size, expected, intervalMs, progressMax);
    }
    // CMD_ENTER_PROG, CMD_EXIT_PROG or CMD_ERASE_FLASH with its poll.
    WriterStatus PollingCommand(uint8_t code);
    // An operation by mask with its poll; its busy steps and progress are news.
    WriterStatus RunOperation(uint8_t mask, int progressMax);
    uint16_t ReadWord(uint32_t addr);
    WriterStatus WriteWord(uint32_t addr, uint16_t word);

    // The protocol's other operations, each with the writer's status (0 when
    // it went well) and its data where there is any.
    bool Ping() { return static_cast<uint8_t>(Query(CMD_PING)) == WS_ACK; }
    WriterStatus ReadFlash(uint32_t addr, uint8_t count, uint8_t* dest, size_t destSize);
    // One download frame of at most 128 bytes at addr.
    WriterStatus WriteFlash(uint32_t addr, const uint8_t* bytes, size_t count);
    WriterStatus WriteDriverBlock(const BodyRecord& body, const WriterSettings& settings);
    WriterStatus EraseDriver();
    // The chip's identification byte(s) into dest.
    WriterStatus Identify(uint8_t* dest, size_t destSize);
    WriterStatus ReadBlock(uint32_t addr, uint8_t words, uint8_t* dest, size_t destSize);
    // The self-test's status (WS_ACK when it answered) and its fault bits.
    uint8_t SelfTest(uint8_t& faults);

    bool Connect();
    bool EnsureConnected();
    // EnsureConnected; the first time, also `checkDriver`, whose result is then the result.
    bool DetectConnect(const std::function<bool()>& checkDriver);

    // The COM numbers searched, in order (1, 2, 3 until set).
    void SetPorts(const PortList& list);
    // Once a search went over the list: the list's refusal message, once; else empty.
    std::string TakePortsMessage();
    // Searches this port alone, whatever the list says; 0 goes back to the list.
    void SetOnlyPort(int port) { m_nOnlyPort = port; }

    int PortIndex() const { return m_nPortIndex; }
    // How many searches for the writer ran so far.
    int Searches() const { return m_nSearches; }
    // COM number of the writer found; 0 when none.
    int PortNumber() const { return m_nPortIndex + 1; }
    // "V0102" as the writer last reported it; empty when it did not.
    const std::string& Firmware() const { return m_strFirmware; }
    bool FirstConnect() const { return m_bFirstConnect; }
    // The last reply wait ended with nothing complete from the writer.
    bool LastReplyTimedOut() const { return m_bTimedOut; }
    // A new command starts: what the last one's waits met no longer counts.
    void ForgetLastReply() { m_bTimedOut = false; }
    // The last busy status a poll returned (0 before any): the step in progress.
    uint8_t LastBusyStatus() const { return m_nLastBusy; }
    // What the port's system calls met since the last call (see Port).
    PortFailure TakePortFailure() { return m_port.TakeFailure(); }
    // Program end: the caller closes the port when this says it is open.
    bool IsConnected() const { return m_nPortIndex != -1; }

  private:
    // After the acknowledge of a command frame was lost or damaged: whether
    // the writer took that frame all the same (it is busy with, or has ended,
    // that command), so it must be polled, not sent again. Unknown counts as
    // taken: a command sent twice may run twice on the chip.
    bool WriterTookCommand(uint8_t code, uint8_t param);
    // Reads and drops what still arrives, up to one reply time-out: the rest
    // of a reply that failed would otherwise open the next one.
    void LetLineFallQuiet();
    void Tell(const LinkNews& news) const {
        if (m_listen) m_listen(news);
    }
    void Tell(LinkNews::Kind kind, int port = 0) const {
        LinkNews news;
        news.kind = kind;
        news.port = port;
        Tell(news);
    }
    void TellProgress(LinkNews::Kind kind, int pos, int max) const {
        LinkNews news;
        news.kind = kind;
        news.pos = pos;
        news.max = max;
        Tell(news);
    }

    LinkListener m_listen;
    Port& m_port;
    uint8_t m_receive[kReceiveBufferSize] = {};
    size_t m_nReceived = 0;
    int m_nPortIndex = -1;
    std::vector<int> m_ports{1, 2, 3};
    std::string m_strPortsMessage;
    int m_nOnlyPort = 0;
    bool m_bSearched = false;
    std::string m_strFirmware;
    bool m_bTimedOut = false;
    uint8_t m_nLastBusy = 0;
    bool m_bFirstConnect = true;
    int m_nSearches = 0;
};
