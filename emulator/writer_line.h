#pragma once
// The writer as it meets the line: received bytes cut into frames, sums
// checked, the model's replies with the faults queued by control lines. The
// emulator runs it on a pseudo-terminal, the unit tests behind a port.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "emulator/writer_model.h"

namespace emu {

struct Fault {
    std::string kind;  // noreply badsum badcode refuse garbage double
    int count = 1;
    int cmd = -1;  // only frames with this code; -1 = any
    int skip = 0;  // matching frames let through before the fault starts
    Bytes bytes;   // garbage to send before the reply
};

class WriterLine {
  public:
    WriterModel model;
    std::deque<Fault> faults;
    bool muted = false;  // unplugged: input is logged and ignored

    // One line per frame or note: direction ("RX", "RX-BADSUM", "RX-JUNK",
    // "RX-PARTIAL", "RX-IGNORED", "--" for a note) and bytes or text.
    std::function<void(const char* dir, const Bytes& bytes)> log;
    std::function<void(const std::string& text)> note;
    // Bytes arrived (even while muted), and a frame about to be served.
    std::function<void(uint64_t nowMs)> onReceive;
    std::function<void(const Bytes& frame, uint64_t nowMs)> onFrame;

    // Received bytes; returns what the writer sends back for the frames they
    // complete, replies in order.
    Bytes Receive(const uint8_t* bytes, size_t count, uint64_t nowMs);
    // A frame cut short by the sender would otherwise swallow the next one.
    void DropPartial();
    bool HasPartial() const { return !m_rx.empty(); }

    // One control line (see emulator/README.md). unplug and plug only set
    // the muted flag; the caller handles the pty. False for an unknown line.
    bool Control(const std::string& line);

  private:
    Bytes m_rx;
    Bytes Serve(const Bytes& frame, uint64_t nowMs);
    void Log(const char* dir, const Bytes& b) {
        if (log) log(dir, b);
    }
    void Note(const std::string& t) {
        if (note) note(t);
    }
};

}  // namespace emu
