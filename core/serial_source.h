#pragma once
#include <cstdint>
#include <string>

// Where a station's serial numbers come from: the settings file under its
// lock today, a factory ledger beside it. A number goes into a chip only after
// Reserve handed it out, durably reserved; the session then says once what
// became of it, and a number marked burned or written is never handed out again.
enum class SerialTake {
    kTaken,     // `dwSerial` is this chip's
    kUsedUp,    // no number is left in the range or sequence
    kNotSaved,  // the reservation could not be made durable
    kOffline,   // the source that hands out numbers cannot be reached and none is held
    kBadValue,  // the stored next number is not a number: nothing is handed out
};

struct SerialReservation {
    SerialTake take = SerialTake::kTaken;
    uint32_t dwSerial = 0;
    // What to tell the user when nothing was taken.
    std::string strText;
};

class SerialSource {
  public:
    virtual ~SerialSource() = default;
    // The number the next Reserve would hand out, for the label; reserves nothing.
    virtual uint32_t Peek() = 0;
    // The next number, durably reserved for this station; asking again before
    // its fate is marked returns the same number.
    virtual SerialReservation Reserve() = 0;
    // The fate of the reserved number: all its words are in a chip; a word
    // may be in a chip; no chip got it.
    virtual void MarkWritten(uint32_t serial) = 0;
    virtual void MarkBurned(uint32_t serial) = 0;
    virtual void MarkUnused(uint32_t serial) = 0;
};
