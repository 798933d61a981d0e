#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A failure of the system's port calls, kept for whoever drives the port to
// report: the text of its box, and whether that is the "Application Error"
// box (else the box is captioned with the program's name).
struct PortFailure {
    std::string text;
    bool bApplicationError = false;
};

// The serial line to the writer at its fixed settings (38400 baud, 8N1) and
// the clock its waits run on. The link owns the protocol; a port moves bytes.
// The Win32 serial port stands behind it in the program, the writer model in
// tests.
class Port {
  public:
    virtual ~Port() = default;

    // Opens COM<number> and starts serving it; false when it cannot be opened.
    virtual bool Open(int number) = 0;
    // Closing a port that is not open does nothing.
    virtual void Close() = 0;
    // Discards input not yet read, then sends the bytes; returns once they
    // are written or the write was given up on (not reported: the reply wait
    // runs into its own time-out).
    virtual void Write(const uint8_t* bytes, size_t count) = 0;
    // Copies up to size received bytes into dest and returns their count.
    // Waits at most timeoutMs for `want` bytes (1 <= want <= size): the rest
    // of a reply whose length is known costs one wake, not one per byte.
    // Returns what there is at the time-out.
    virtual size_t Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) = 0;

    // The first failure since the last call, then none; empty text: none.
    virtual PortFailure TakeFailure() { return PortFailure(); }

    // Milliseconds of a monotonic clock that wraps at 2^32.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
};

// No line at all: a session that only loads and writes images (tools, fuzzing).
// Every open fails, so every writer command ends in a time-out.
class NoPort : public Port {
  public:
    bool Open(int) override { return false; }
    void Close() override {}
    void Write(const uint8_t*, size_t) override {}
    size_t Read(uint8_t*, size_t, size_t, uint32_t timeoutMs) override {
        m_now += timeoutMs;
        return 0;
    }
    uint32_t TickCount() override { return m_now; }
    void Sleep(uint32_t ms) override { m_now += ms; }

  private:
    uint32_t m_now = 0;
};
