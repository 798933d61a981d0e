#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "writer/link_report.h"
#include "writer/port.h"
#include "writer/port_list.h"
#include "writer/protocol.h"

// Reply waits, polling, retries and the search for the writer.
class WriterLink {
  public:
    static constexpr uint32_t kReplyTimeout = 1000;
    static constexpr int kAttempts = 3;
    static constexpr int kLateDispatches = 200;
    // A busy phase whose poll status and progress stay the same this long
    // ends the command with that busy status.
    static constexpr uint32_t kBusyStallMs = 30000;
    // After bytes that were no good reply, the line counts as quiet once
    // nothing more arrived for this long.
    static constexpr uint32_t kQuietMs = 50;

    WriterLink(LinkReport& report, Port& port) : m_report(report), m_port(port) {}

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
    WriterStatus PollingCommand(uint8_t code);
    WriterStatus RunOperation(uint8_t mask, int progressMax);
    int ShowWriterError(uint8_t status, bool modal);
    uint16_t ReadWord(uint32_t addr);
    WriterStatus WriteWord(uint32_t addr, uint16_t word);

    bool Connect();
    bool EnsureConnected();
    // EnsureConnected; the first time, also `checkDriver`, whose result is then the result.
    bool OnDetectConnect(const std::function<bool()>& checkDriver);

    // The COM numbers searched, in order (1, 2, 3 until set).
    void SetPorts(const PortList& list);
    // Once a search went over the list: the list's refusal message, once; else empty.
    std::string TakePortsMessage();
    // Searches this port alone, whatever the list says; 0 goes back to the list.
    void SetOnlyPort(int port) { m_nOnlyPort = port; }

    int PortIndex() const { return m_nPortIndex; }
    // COM number of the writer found; 0 when none.
    int PortNumber() const { return m_nPortIndex + 1; }
    // "V0102" as the writer last reported it; empty when it did not.
    const std::string& Firmware() const { return m_strFirmware; }
    // "Software(...), Firmware(...)" as last shown.
    const std::string& VersionText() const { return m_strVersion; }
    bool FirstConnect() const { return m_bFirstConnect; }
    // The last reply wait ended with nothing complete from the writer.
    bool LastReplyTimedOut() const { return m_bTimedOut; }
    // A new command starts: what the last one's waits met no longer counts.
    void ForgetLastReply() { m_bTimedOut = false; }
    // The last busy status a poll returned (0 before any): the step in progress.
    uint8_t LastBusyStatus() const { return m_nLastBusy; }
    // Program end: the caller closes the port when this says it is open.
    bool IsConnected() const { return m_nPortIndex != -1; }

  private:
    // Reads and drops what still arrives, up to one reply time-out: the rest
    // of a reply that failed would otherwise open the next one.
    void LetLineFallQuiet();

    LinkReport& m_report;
    Port& m_port;
    uint8_t m_receive[kReceiveBufferSize] = {};
    size_t m_nReceived = 0;
    int m_nPortIndex = -1;
    std::vector<int> m_ports{1, 2, 3};
    std::string m_strPortsMessage;
    int m_nOnlyPort = 0;
    bool m_bSearched = false;
    std::string m_strFirmware;
    std::string m_strVersion;
    bool m_bTimedOut = false;
    uint8_t m_nLastBusy = 0;
    bool m_bFirstConnect = true;
};
