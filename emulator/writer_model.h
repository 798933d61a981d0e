#pragma once
// Model of the writer unit as the emulator plays it: its flash (image plus the
// driver area at 0x03FF00), programming mode, the chip in the socket and the
// busy phases of long commands, which polls report with a progress byte.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace emu {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFlashSize = 0x40000;
constexpr uint32_t kDriverAddr = 0x03FF00;
constexpr uint32_t kSectorSize = 0x1000;

struct Chip {
    uint8_t pid = 0x30;         // identification byte
    uint16_t powerOnId = 0x30;  // configuration words 16 and 17
    uint16_t softwareId = 0x11;
    uint32_t romWords = 0x0400;          // configuration words 18/19
    uint16_t optWords = 0x08;            // configuration word 20
    bool locked = false;                 // configuration word 0, bit 0
    std::map<uint32_t, uint16_t> words;  // programmed words; absent ones are blank (0)

    uint16_t Word(uint32_t addr) const;
};

struct Timing {
    uint32_t modeMs = 20;    // enter/leave programming mode
    uint32_t eraseMs = 300;  // whole flash
    uint32_t sectorMs = 60;  // driver area
    uint32_t stepMs = 400;   // each step of an operation
    uint32_t flashMs = 0;    // one flash write or chip word
};

// Sum of bytes modulo 256.
uint8_t Sum8(const uint8_t* p, size_t n);
// Appends the sum byte and sets the length byte of a reply body.
Bytes Reply(Bytes body);

class WriterModel {
  public:
    WriterModel();

    // One frame whose length and sum were checked; returns the reply frame
    // (empty for none). nowMs is a monotonic clock.
    Bytes Handle(const Bytes& frame, uint64_t nowMs);

    // Faults and settings applied to the next long command.
    // The next long command (of this code only, when cmd is not -1) stays
    // busy ms longer.
    void SetExtraBusy(uint32_t ms, int cmd = -1) {
        m_extraBusyMs = ms;
        m_extraBusyCmd = cmd;
    }
    // The next count long commands (of this code only, when cmd is not -1)
    // end with status instead of their own, after skip such commands.
    void SetFinalStatus(uint8_t status, int cmd = -1, int count = 1, int skip = 0) {
        m_forcedFinal = ForcedFinal{status, cmd, count, skip};
    }
    // The next long command (of this code only, when cmd is not -1) hangs in
    // its last busy phase: polls repeat that status with the progress frozen.
    // The writer still takes a new command, which drops the hung one.
    void SetStuck(int cmd = -1) {
        m_stuckNext = true;
        m_stuckCmd = cmd;
    }

    Chip chip;
    Timing timing;
    uint8_t fwLow = 0x01, fwHigh = 0x02;
    uint8_t selftestFaults = 0;
    std::vector<uint8_t> flash;
    bool progMode = false;
    // A handler: leaving programming mode puts a new blank chip of the same
    // kind in the socket; with swapAfterAutoOnly, only after an Auto pass (an
    // operation of several steps), so single commands by hand keep their chip.
    bool swapChips = false;
    bool swapAfterAutoOnly = false;
    // Drops every queued fault of the model: forced final status, hang, extra busy time.
    void ClearQueued() {
        m_forcedFinal.reset();
        m_stuckNext = false;
        m_extraBusyMs = 0;
    }

    // What happens to the chips, for a record kept outside the model: an
    // operation's mask and the status it ends with, a word written by
    // command, a chip taken out by the handler.
    std::function<void(uint8_t mask, uint8_t final)> onOperation;
    std::function<void(uint32_t addr, uint16_t value)> onWord;
    std::function<void()> onChipOut;

    bool DriverValid() const;
    uint32_t DriverRomWords() const;
    bool Busy(uint64_t nowMs) const;

  private:
    struct Phase {
        uint8_t status;
        uint32_t ms;
    };
    struct Job {
        uint8_t code = 0, param = 0;  // the command, as polls name it
        uint64_t start = 0;
        std::vector<Phase> phases;
        uint8_t final = 0;
        uint32_t progressWords = 0;
        bool stuck = false;
    };
    std::optional<Job> m_job;
    uint32_t m_extraBusyMs = 0;
    int m_extraBusyCmd = -1;
    struct ForcedFinal {
        uint8_t status;
        int cmd, count, skip;
    };
    std::optional<ForcedFinal> m_forcedFinal;
    bool m_stuckNext = false;
    int m_stuckCmd = -1;
    bool m_bAutoRan = false;  // an Auto pass ran since programming mode was entered

    void StartJob(const Bytes& frame, uint64_t now, std::vector<Phase> phases, uint8_t final);
    Bytes Poll(uint64_t now);
    uint8_t RunOperation(uint8_t mask, std::vector<Phase>& phases);
    uint16_t ImageWord(uint32_t addr) const;
};

}  // namespace emu
