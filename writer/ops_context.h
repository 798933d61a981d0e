#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/body_table.h"
#include "image/serial_number.h"

class Profile;
struct PcBuffer;

// The part of the writer link that downloads and chip operations use. The
// main window adapts its link engine to it; tests put a scripted writer here.
class OpsLink {
  public:
    virtual ~OpsLink() = default;
    virtual bool EnsureConnected() = 0;
    // Clears the receive buffer, writes the frame and waits for the reply
    // (1000 ms); data bytes of a data reply land in dest.
    virtual uint16_t Request(const uint8_t* frame, size_t count, uint8_t expected, uint8_t* dest,
                             size_t destSize) = 0;
    virtual uint16_t Query(uint8_t command) = 0;
    virtual uint8_t SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected,
                                uint32_t intervalMs, int progressMax) = 0;
    virtual uint8_t PollingCommand(uint8_t code) = 0;
    virtual uint8_t RunOperation(uint8_t mask, int progressMax) = 0;
    virtual int ShowWriterError(uint8_t status, bool modal) = 0;
    virtual uint16_t ReadWord(uint32_t addr) = 0;
    virtual uint8_t WriteWord(uint32_t addr, uint16_t word) = 0;
};

// Window effects of the operations.
class OpsHost {
  public:
    virtual ~OpsHost() = default;
    virtual void PullTexts() = 0;  // controls into the text fields
    virtual void PushTexts() = 0;  // text fields onto the controls
    virtual void SetMessageText(const std::string& text) = 0;
    virtual void SetDriverText(const std::string& text) = 0;
    virtual void SetSerialText(const std::string& text) = 0;
    virtual void SetChecksumText(const std::string& text) = 0;
    virtual void SetProgressRange(int maxPos) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void Beep() = 0;
    // OK-only box captioned with the program's name; `info` adds the information icon.
    virtual void ShowMessageBox(const std::string& text, bool info = false) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void EnableWindow(bool enable) = 0;
    virtual void EnableOperationControls(bool enable) = 0;
    // Makes the body named by [Setting] BodyName current (voice-mode switch
    // included) and returns it; null leaves the selection as it was.
    virtual const BodyRecord* SelectBody() = 0;
    virtual bool IsVoiceFile(const std::string& path) = 0;
};

// The main window's state that the operations read and change.
struct OpsState {
    PcBuffer& buffer;
    const BodyTable& bodies;
    Profile& profile;
    const BodyRecord*& pBody;
    const BodyRecord*& pDriverBody;
    const std::string& strFileName;
    bool& bDownloaded;
    const bool& bVoice;
    const bool& bCheckId;
    SerialNumber serial;
};
