#pragma once
// A long run under faults: faults that arrive at random, and the writer's own
// account of each chip, to check a program's verdicts against afterwards.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "emulator/writer_line.h"

namespace emu {

// Each new chip (programming mode entered) meets one fault with chance
// `rate`: no reply, a bad sum, garbage before a reply (each on one of the
// chip's next frames), a verify failure, a chip that is not blank, or an
// unplug that lasts 100-600 ms. The seed makes a run repeatable.
class RandomFaults {
  public:
    RandomFaults(WriterLine& line, double rate, uint32_t seed)
        : m_line(line), m_rate(rate), m_rng(seed) {}
    // A frame about to be served; returns the fault's kind, or empty.
    std::string Frame(const Bytes& frame, uint64_t nowMs);
    // Any bytes arrived: an unplug that has lasted long enough ends.
    void Tick(uint64_t nowMs);

  private:
    WriterLine& m_line;
    double m_rate;
    std::mt19937 m_rng;
    uint64_t m_plugAtMs = 0;  // 0: not unplugged by a fault
};

// One line per event, flushed at once so that a killed emulator loses none:
//   chip N fault KIND | chip N op MASK FINAL | chip N word ADDR VALUE | chip N out
// N counts chips from 1; a chip goes out when programming mode is left with
// the chip handler on.
class ChipRecord {
  public:
    explicit ChipRecord(std::FILE* out) : m_out(out) {}
    void Fault(const std::string& kind) { Event("fault " + kind); }
    void Operation(uint8_t mask, uint8_t final);
    void Word(uint32_t addr, uint16_t value);
    void ChipOut();

  private:
    std::FILE* m_out;
    int m_nChip = 1;
    void Event(const std::string& text);
};

}  // namespace emu
