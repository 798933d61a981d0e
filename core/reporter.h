#pragma once
#include <string>

// The texts a front end shows for the session.
enum class Slot {
    kMessage,   // the message line
    kLink,      // "Connected(COM%d)" and the like
    kVersion,   // writer software and firmware
    kDriver,    // body whose driver block the writer holds
    kSerial,    // "S/N:%08XH" or empty
    kChecksum,  // "%04Xh" or empty
    kMcu,       // the selected body
    kPath,      // the path of the loaded image
    kLedger,    // the factory ledger's state, empty while it is off
};

// Message box flags, numbered as the Win32 box numbers them so the window
// passes them straight through.
constexpr unsigned kBoxOk = 0x00;
constexpr unsigned kBoxYesNo = 0x04;
constexpr unsigned kBoxInformation = 0x40;
constexpr unsigned kBoxStop = 0x10;

// One thing the user is to see, in the order the session produces them.
struct Event {
    enum class Kind {
        kText,      // `slot` now reads `text`
        kAppend,    // `text` added to the message line
        kWarning,   // said after a command's own text: an unwritable log, a refused port list
        kProgress,  // `pos` of `max`; 0 of max: the bar back at its start
        kBeep,
        kBox,       // `text` in a box with `flags`; `modal`: the command waits until it is closed
        kHexReset,  // a new image: its view from the first row, rows 0..`pos`
        kModes,     // the body switched voice mode (`voice`), Check ID or numbering
        kStarted,   // a command starts: no other one is taken until kEnded
        kEnded,     // `pos` 1: it searched for the writer or sent an image, which
                    // the operation controls follow

    };
    Kind kind = Kind::kText;
    Slot slot = Slot::kMessage;
    std::string text;
    int pos = 0, max = 0;
    unsigned flags = 0;
    std::string caption;  // of a box; empty: the program's name (and the box has an owner)
    bool modal = true;
    bool voice = false, checkId = false, serial = false;

    static Event Text(Slot s, std::string t) {
        Event e;
        e.slot = s;
        e.text = std::move(t);
        return e;
    }
    static Event Of(Kind k, std::string t = std::string()) {
        Event e;
        e.kind = k;
        e.text = std::move(t);
        return e;
    }
};

// What the session tells whoever drives it: a stream of events and one
// question. The window applies them on its own thread, the console prints
// them, the tests record them. Report may come from a worker thread; Ask is
// answered on the front end's own thread while the caller waits.
class Reporter {
  public:
    virtual ~Reporter() = default;
    virtual void Report(const Event& event) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const std::string& question) = 0;
};

// Shows nothing and answers No: tools and fuzzing that only load images.
class SilentReporter : public Reporter {
  public:
    void Report(const Event&) override {}
    bool Ask(const std::string&) override { return false; }
};
