#pragma once
#include <cstddef>
#include <cstdint>

// The serial line under the writer link: open with the fixed line settings,
// close, write, and the feed of received bytes with the clock the waits use.
// Win32 puts the serial port and its monitor thread here; tests a scripted writer.
class LinkPort {
  public:
    virtual ~LinkPort() = default;

    virtual bool OpenPort(int portNumber) = 0;
    virtual void ClosePort() = 0;
    virtual void WritePort(const uint8_t* bytes, size_t count) = 0;

    // Dispatches at most one waiting message; true when one was dispatched.
    // Received bytes reach WriterLink::OnSerialByte from inside this call.
    virtual bool PumpOneMessage() = 0;
    // Blocks until a message waits or timeoutMs pass, whichever is first.
    virtual void WaitForMessage(uint32_t timeoutMs) = 0;
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
};

// No line at all: a session that only loads and writes images (tools, fuzzing).
// Every open fails, so every writer command ends in a time-out.
class NoPort : public LinkPort {
  public:
    bool OpenPort(int) override { return false; }
    void ClosePort() override {}
    void WritePort(const uint8_t*, size_t) override {}
    bool PumpOneMessage() override { return false; }
    void WaitForMessage(uint32_t ms) override { m_now += ms; }
    uint32_t TickCount() override { return m_now; }
    void Sleep(uint32_t ms) override { m_now += ms; }

  private:
    uint32_t m_now = 0;
};
