#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "writer/port.h"
#include "writer/protocol.h"

// What the link needs of the main window. The window implements it on Win32;
// tests stand in with a recording double.
class LinkHost {
  public:
    virtual ~LinkHost() = default;

    // Lets the front end breathe during waits: dispatches at most one waiting
    // window message; true when one was dispatched.
    virtual bool PumpOneMessage() = 0;

    // Window texts and feedback.
    virtual void SetMessageText(const std::string& text) = 0;
    virtual void SetLinkText(const std::string& text) = 0;
    virtual void SetVersionText(const std::string& text) = 0;
    virtual void PushTexts() = 0;
    virtual void SetProgressRange(int maxPos) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void Beep() = 0;
    virtual void ShowMessageBox(const std::string& text) = 0;
    virtual void Trace(const std::string&) {}

    // Operation buttons and the busy flag that goes with them.
    virtual void EnableOperationControls(bool enable) = 0;
    virtual bool IsBusy() const = 0;

    // Driver check run after the first successful Detect Connect.
    virtual bool CheckDriver() = 0;
};

// Reply waits, polling, retries and the search for the writer.
class WriterLink {
  public:
    static constexpr uint32_t kReplyTimeout = 1000;
    static constexpr int kAttempts = 3;
    static constexpr int kLateDispatches = 200;
    static constexpr int kPortCount = 3;
    // A busy phase whose poll status and progress stay the same this long
    // ends the command with that busy status.
    static constexpr uint32_t kBusyStallMs = 30000;

    WriterLink(LinkHost& host, Port& port) : m_host(host), m_port(port) {}

    // Receive buffer, fed from the port inside reply waits.
    void OnSerialByte(uint8_t byte);
    void ResetReceive() { m_nReceived = 0; }
    size_t ReceivedCount() const { return m_nReceived; }

    // Writes a frame after clearing the receive buffer.
    void Send(const uint8_t* frame, size_t count);
    void Send(const Frame& f) { Send(f.bytes, f.size); }

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
    bool OnDetectConnect();

    int PortIndex() const { return m_nPortIndex; }
    bool FirstConnect() const { return m_bFirstConnect; }
    // Program end: the caller closes the port when this says it is open.
    bool IsConnected() const { return m_nPortIndex != -1; }

  private:
    LinkHost& m_host;
    Port& m_port;
    uint8_t m_receive[kReceiveBufferSize] = {};
    size_t m_nReceived = 0;
    int m_nPortIndex = -1;
    bool m_bFirstConnect = true;
};
