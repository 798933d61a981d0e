#pragma once
// Scripted stand-in for the main window and a writer on a serial port: every
// frame written is recorded and answered by the device's responder, whose
// bytes arrive one per dispatched message, as WM_SERIAL_BYTE delivers them.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "writer/writer_link.h"

using Bytes = std::vector<uint8_t>;

// Appends the 8-bit sum to a reply body.
inline Bytes WithSum(Bytes b) {
    uint8_t sum = 0;
    for (uint8_t x : b) sum = static_cast<uint8_t>(sum + x);
    b.push_back(sum);
    return b;
}
inline Bytes Ack() {
    return WithSum({0x03, 0x90});
}
inline Bytes Refuse() {
    return WithSum({0x03, 0x91});
}
inline Bytes PollReply(uint8_t status, uint8_t progress = 0) {
    return WithSum({0x05, 0x8E, status, progress});
}

class FakeHost : public LinkPort, public FrontEnd {
  public:
    // Returns the bytes the writer sends back for one frame (may be empty).
    std::function<Bytes(const Bytes& frame, int port)> device;
    int writerPort = 1;  // COM number where a device answers; 0 = none

    WriterLink link{*this, *this};
    std::vector<Bytes> sent;
    std::vector<int> opened;
    std::vector<std::string> messages, links, versions, boxes, traces;
    std::vector<int> progress;
    int progressMax = -1;
    int beeps = 0, pushes = 0, pumps = 0, closes = 0, waits = 0, driverChecks = 0;
    bool busy = false, driverOk = true;
    uint32_t now = 1000;
    std::deque<uint8_t> pending;
    int openPort = 0;

    bool OpenPort(int n) override {
        opened.push_back(n);
        openPort = n;
        return true;
    }
    void ClosePort() override {
        ++closes;
        openPort = 0;
    }
    void WritePort(const uint8_t* bytes, size_t count) override {
        Bytes frame(bytes, bytes + count);
        sent.push_back(frame);
        pending.clear();  // the port purges undelivered input before a write
        if (device && openPort != 0 && openPort == writerPort) {
            for (uint8_t b : device(frame, openPort)) pending.push_back(b);
        }
    }
    bool PumpOneMessage() override {
        ++pumps;
        if (pending.empty()) return false;
        uint8_t b = pending.front();
        pending.pop_front();
        link.OnSerialByte(b);
        return true;
    }
    void WaitForMessage(uint32_t ms) override {
        ++waits;
        if (pending.empty()) now += ms;
    }
    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override { now += ms; }
    void SetText(FrontText which, const std::string& t) override {
        if (which == FrontText::kMessage) messages.push_back(t);
        if (which == FrontText::kLink) links.push_back(t);
        if (which == FrontText::kVersion) versions.push_back(t);
    }
    void AppendMessage(const std::string& t) override { messages.push_back(t); }
    void PushTexts() override { ++pushes; }
    void PullTexts() override {}
    void ProgressStart(int m) override { progressMax = m; }
    void ProgressStep(int p) override { progress.push_back(p); }
    void ProgressEnd() override { progress.push_back(0); }
    int ShowBox(const std::string& t, unsigned) override {
        boxes.push_back(t);
        return kAnswerOk;
    }
    void Beep() override { ++beeps; }
    // Dispatches a waiting message as the window does, which may be a byte.
    bool Breathe() override { return PumpOneMessage(); }
    void EnableOperationControls(bool enable) override { busy = !enable; }
    void ShowRunning(bool) override {}
    void EnableInput(bool) override {}
    void ShowModes(bool, bool, bool) override {}
    void ResetHexView(int) override {}
    void Trace(const std::string& t) override { traces.push_back(t); }
    // The driver check a session runs after the first connect.
    bool CheckDriver() {
        ++driverChecks;
        return driverOk;
    }
    bool OnDetectConnect() {
        return link.OnDetectConnect([this] { return CheckDriver(); });
    }

    int CountSent(uint8_t code) const {
        int n = 0;
        for (const Bytes& f : sent) n += f.size() > 1 && f[1] == code;
        return n;
    }
};
