#pragma once
#include <functional>
#include <utility>

#include "writer/ops_context.h"
#include "writer/writer_link.h"

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

#include "writer/chip_operations.h"
#include "writer/download.h"
#include "writer/ops_host_win.h"

// One command's worth of operations on the window's state and link.
struct OpsSession {
    WriterOpsHost host;
    WriterOpsLink link;
    OpsState state;
    DownloadOps download;
    ChipOps chip;
    OpsSession(WriterDialog& dlg, WriterLink& wl, const OpsState& st)
        : host(dlg),
          link(wl),
          state(st),
          download(link, host, state),
          chip(link, host, state, download) {}
};

// The reply waits dispatch window messages, and the first driver check runs
// with the buttons enabled: a command arriving inside another one's waits is
// dropped instead of talking to the writer in the middle of it.
// `changed` runs after the flag is set and after it is cleared again.
class OpsGuard {
  public:
    explicit OpsGuard(bool& running, std::function<void()> changed = {})
        : m_running(running), m_entered(!running), m_changed(std::move(changed)) {
        m_running = true;
        if (m_entered && m_changed) m_changed();
    }
    ~OpsGuard() {
        if (!m_entered) return;
        m_running = false;
        if (m_changed) m_changed();
    }
    OpsGuard(const OpsGuard&) = delete;
    OpsGuard& operator=(const OpsGuard&) = delete;
    bool Entered() const { return m_entered; }

  private:
    bool& m_running;
    bool m_entered;
    std::function<void()> m_changed;
};
