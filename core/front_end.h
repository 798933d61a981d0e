#pragma once
#include <cstdint>
#include <string>

// The texts a front end shows for the session.
enum class FrontText {
    kMessage,   // the message line
    kLink,      // "Connected(COM%d)" and the like
    kVersion,   // writer software and firmware
    kDriver,    // body whose driver block the writer holds
    kSerial,    // "S/N:%08XH" or empty
    kChecksum,  // "%04Xh" or empty; shown at once, not held for PushTexts
    kMcu,       // the selected body
    kPath,      // the path of the loaded image
};

// Message box flags and answers, numbered as the Win32 box numbers them so
// the window passes them straight through.
constexpr unsigned kBoxOk = 0x00;
constexpr unsigned kBoxYesNo = 0x04;
constexpr unsigned kBoxInformation = 0x40;
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Everything the session reports to the user goes through here: the window
// implements it with its controls, a console by printing, tests by recording
// and answering from a script.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;

    // Texts are held until PushTexts puts them on the screen; PullTexts takes
    // back what the user changed (the image path) before a command reads it,
    // and PulledText hands it over (false: the front end keeps no such text).
    virtual void SetText(FrontText which, const std::string& text) = 0;
    virtual void AppendMessage(const std::string& text) = 0;
    virtual void PushTexts() = 0;
    virtual void PullTexts() = 0;
    virtual bool PulledText(FrontText, std::string&) { return false; }
    // Said after a command's own text, which stays readable before it: a log
    // that cannot be written, a port list that was refused.
    virtual void Warn(const std::string& text) = 0;

    // Progress of a transfer or an operation: range 0..maxPos, a position, back to 0.
    virtual void ProgressStart(int maxPos) = 0;
    virtual void ProgressStep(int pos) = 0;
    virtual void ProgressEnd() = 0;

    // A box captioned with the program's name; returns kAnswerOk, kAnswerYes or kAnswerNo.
    virtual int ShowBox(const std::string& text, unsigned flags = kBoxOk) = 0;
    virtual void Beep() = 0;
    // Called during waits and between long steps: a window dispatches one
    // waiting message so it keeps painting. True when there was one.
    virtual bool Breathe() = 0;

    // While an operation runs the front end takes no second command: the
    // operation buttons (transfers) or the whole window (chip operations).
    virtual void EnableOperationControls(bool enable) = 0;
    virtual void EnableInput(bool enable) = 0;
    // A session command starts (true) or ends (false); commands arriving in
    // between are refused by the session.
    virtual void ShowRunning(bool running) = 0;
    // The selected body changed voice mode, Check ID or serial numbering.
    virtual void ShowModes(bool voice, bool checkId, bool serial) = 0;
    // A new image is in the buffer: its view from the first row, rows 0..maxRow.
    virtual void ResetHexView(int maxRow) = 0;

    // Diagnostic trace of the status messages; nothing shows it.
    virtual void Trace(const std::string&) {}
};

// Shows nothing and answers every box with OK, a question with No: the base
// of front ends that only keep what they need (tools, fuzzing, tests).
class SilentFrontEnd : public FrontEnd {
  public:
    void SetText(FrontText, const std::string&) override {}
    void AppendMessage(const std::string&) override {}
    void PushTexts() override {}
    void Warn(const std::string&) override {}
    void PullTexts() override {}
    void ProgressStart(int) override {}
    void ProgressStep(int) override {}
    void ProgressEnd() override {}
    int ShowBox(const std::string&, unsigned flags) override {
        return flags & kBoxYesNo ? kAnswerNo : kAnswerOk;
    }
    void Beep() override {}
    bool Breathe() override { return false; }
    void EnableOperationControls(bool) override {}
    void EnableInput(bool) override {}
    void ShowRunning(bool) override {}
    void ShowModes(bool, bool, bool) override {}
    void ResetHexView(int) override {}
};
