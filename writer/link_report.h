#pragma once
#include <string>

// The texts the link keeps up to date while it works.
enum class LinkText {
    kStatus,   // the message line: "Connecting to Pyrograph...", "Programming...", errors
    kLink,     // "Connected(COM%d)" and the like
    kVersion,  // writer software and firmware
};

// What the link tells whoever drives it: texts, progress, boxes, and a breath
// during every wait so a window keeps painting. Nothing else of a front end
// reaches the writer layer.
class LinkReport {
  public:
    virtual ~LinkReport() = default;
    // Texts are held until ShowTexts puts them on the screen.
    virtual void SetLinkText(LinkText which, const std::string& text) = 0;
    virtual void ShowTexts() = 0;
    virtual void Beep() = 0;
    // An OK box captioned with the program's name.
    virtual void ErrorBox(const std::string& text) = 0;
    // Progress of a poll or a transfer: range 0..maxPos, then positions.
    virtual void ProgressStart(int maxPos) = 0;
    virtual void ProgressStep(int pos) = 0;
    // Called during waits: a window dispatches one waiting message. True when there was one.
    virtual bool Breathe() = 0;
    // The search for the writer runs (true) or ended: the operation controls follow.
    virtual void Searching(bool running) = 0;
    // Diagnostic trace of the status messages; nothing shows it.
    virtual void Trace(const std::string&) {}
};
