#pragma once
#include <cstddef>
#include <cstdint>

#include "writer/writer_link.h"

// The part of the writer link that downloads and chip operations use. The
// session puts its link engine here; tests may put a scripted writer.
class OpsLink {
  public:
    virtual ~OpsLink() = default;
    virtual bool EnsureConnected() = 0;
    // Clears the receive buffer, writes the frame and waits for the reply
    // (1000 ms); data bytes of a data reply land in dest.
    virtual uint16_t Request(const uint8_t* frame, size_t count, uint8_t expected, uint8_t* dest,
                             size_t destSize) = 0;
    virtual uint16_t Query(uint8_t command) = 0;
    virtual uint8_t SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected,
                                uint32_t intervalMs, int progressMax) = 0;
    virtual uint8_t PollingCommand(uint8_t code) = 0;
    virtual uint8_t RunOperation(uint8_t mask, int progressMax) = 0;
    virtual int ShowWriterError(uint8_t status, bool modal) = 0;
    virtual uint16_t ReadWord(uint32_t addr) = 0;
    virtual uint8_t WriteWord(uint32_t addr, uint16_t word) = 0;
};

// The link engine behind the operations' view of it.
class WriterOpsLink : public OpsLink {
  public:
    explicit WriterOpsLink(WriterLink& link) : m_link(link) {}
    bool EnsureConnected() override { return m_link.EnsureConnected(); }
    uint16_t Request(const uint8_t* frame, size_t count, uint8_t expected, uint8_t* dest,
                     size_t destSize) override {
        m_link.Send(frame, count);
        return m_link.WaitReply(expected, dest, destSize);
    }
    uint16_t Query(uint8_t command) override { return m_link.Query(command); }
    uint8_t SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected, uint32_t intervalMs,
                        int progressMax) override {
        return m_link.SendAndPoll(frame, count, expected, intervalMs, progressMax);
    }
    uint8_t PollingCommand(uint8_t code) override { return m_link.PollingCommand(code); }
    uint8_t RunOperation(uint8_t mask, int progressMax) override {
        return m_link.RunOperation(mask, progressMax);
    }
    int ShowWriterError(uint8_t status, bool modal) override {
        return m_link.ShowWriterError(status, modal);
    }
    uint16_t ReadWord(uint32_t addr) override { return m_link.ReadWord(addr); }
    uint8_t WriteWord(uint32_t addr, uint16_t word) override {
        return m_link.WriteWord(addr, word);
    }

  private:
    WriterLink& m_link;
};
