#pragma once
#include <functional>
#include <utility>

#include "writer/ops_link.h"

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
