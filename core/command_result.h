#pragma once
#include <cstdint>
#include <string>

// How a session command ended. Front ends, the production log and pyrocmd's
// exit status take their verdict from here, never from the texts shown.
enum class Outcome {
    kPassed,
    kFailed,          // the chip or the writer said no
    kRefused,         // another command was running
    kCancelled,       // the user chose nothing
    kNoWriter,        // no writer answers: none was found, or it stopped answering
    kBadImage,        // the buffer cannot serve the command (none, unreadable, S/N words used)
    kSerialNotSaved,  // the next serial number could not be saved: no chip was programmed
    kSerialUsedUp,    // the next serial number lies past [Serial] End: no chip was programmed
    kLedgerOffline,   // the ledger cannot be reached and the station holds no number: no chip
};

// Where a chip operation stopped; for Auto, the step of the pass that failed.
enum class Step {
    kNone,
    kData,
    kDownload,
    kConnect,
    kDriverCheck,
    kEnterProgramming,
    kIdCheck,
    kSerialCheck,
    kSerialSave,
    kBlankCheck,
    kProgram,
    kVerify,
    kLock,
    kSerialWrite,
    kExitProgramming,
    kChipInfo,
    kUnknownChip,  // Chip Info read the chip, but no body has its IDs
};
// "blank_check", "serial_write", ...; empty for kNone.
const char* StepName(Step step);

// What became of the serial number a command took.
enum class SerialFate {
    kNone,     // none was taken
    kWritten,  // all four words are in the chip
    kBurned,   // the write failed after a word went out: the chip may hold it, so it is not used
               // again
    kUnused,   // taken from the settings file, then the run stopped before a chip got it
};

struct CommandResult {
    Outcome outcome = Outcome::kPassed;
    // The last text the command showed, message line or box, without the
    // warnings that follow it (an unwritable log, a refused port list).
    std::string strText;
    Step failedStep = Step::kNone;
    SerialFate serial = SerialFate::kNone;
    uint32_t dwSerial = 0;
    // A frame for the chip in the socket went on the line.
    bool bChipTouched = false;

    static CommandResult Of(Outcome o, Step step = Step::kNone) {
        CommandResult r;
        r.outcome = o;
        r.failedStep = step;
        return r;
    }
    bool Passed() const { return outcome == Outcome::kPassed; }
    // A fault of the station rather than of a chip: the next chip would meet it too.
    bool StationFault() const {
        return outcome == Outcome::kNoWriter || outcome == Outcome::kBadImage ||
               outcome == Outcome::kSerialNotSaved || outcome == Outcome::kSerialUsedUp ||
               outcome == Outcome::kLedgerOffline;
    }
};

// The Auto step a failed operation of `mask` stopped in: the status names it
// when it is an operation error, else the last busy status seen does, else
// the first step of the mask.
Step StepOfOperation(uint8_t mask, uint8_t status, uint8_t lastBusy);
