#pragma once
// The writer behind the link's port interface, on a clock of its own: the
// unit tests run the real link against it, with the emulator's writer line
// (model, faults and control lines) answering every frame.
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <vector>

#include "emulator/writer_line.h"
#include "writer/port.h"

namespace emu {

class ModelPort : public Port {
  public:
    WriterLine line;
    WriterModel& model = line.model;

    // Replaces the writer when set: the bytes sent back for one frame.
    std::function<Bytes(const Bytes& frame)> script;
    // Sees each frame before the writer does, on the thread that wrote it:
    // a test changes the writer there without racing the port's own thread.
    std::function<void(const Bytes& frame)> beforeReply;
    int writerPort = 1;     // COM number the writer is plugged into; 0 = none
    std::set<int> missing;  // COM numbers that cannot be opened
    size_t chunk = 0;       // bytes handed over per read; 0 = all that arrived
    uint32_t now = 1000;    // the clock, in ms

    // What happened on the line, in order.
    std::vector<Bytes> sent;  // frames written while a port was open
    std::vector<int> opened;  // every successful Open
    int closes = 0;
    int reads = 0;                // Read calls that waited in vain
    std::vector<size_t> wants;    // what each Read call asked to wait for
    std::deque<uint8_t> pending;  // sent back and not read yet
    // Still on the line: arrives once the reader waits for more, or ahead of
    // the next reply when a frame is written first (no purge can drop it).
    std::deque<uint8_t> inFlight;

    bool Open(int number) override;
    void Close() override;
    void Write(const uint8_t* bytes, size_t count) override;
    size_t Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) override;
    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override { now += ms; }

    int OpenNumber() const { return m_open; }
    // Frames written with command code `code`.
    int CountSent(uint8_t code) const;

  private:
    int m_open = 0;
};

}  // namespace emu
