#pragma once
// Recording stand-in for the main window, with the link on a port of the
// writer model: every frame written is answered by the model or, when
// `device` is set, by that scripted responder.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "writer/link_report.h"
#include "emulator/model_port.h"
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

class FakeHost : public LinkReport {
  public:
    FakeHost() {
        port.script = [this](const Bytes& frame) {
            return device ? device(frame, port.OpenNumber())
                          : port.line.Receive(frame.data(), frame.size(), port.now);
        };
    }

    emu::ModelPort port;
    // Returns the bytes the writer sends back for one frame (may be empty).
    std::function<Bytes(const Bytes& frame, int port)> device;

    WriterLink link{*this, port};
    std::vector<Bytes>& sent = port.sent;
    std::vector<int>& opened = port.opened;
    std::deque<uint8_t>& pending = port.pending;
    int& writerPort = port.writerPort;
    uint32_t& now = port.now;

    std::vector<std::string> messages, links, versions, boxes, traces;
    std::vector<int> progress;
    int progressMax = -1;
    int beeps = 0, pushes = 0, pumps = 0, driverChecks = 0;
    int windowMessages = 0;  // waiting in the window's queue
    bool busy = false, driverOk = true;

    void OpenPort(int n) { port.Open(n); }
    int CountSent(uint8_t code) const { return port.CountSent(code); }

    // Dispatches a waiting window message.
    bool Breathe() override {
        ++pumps;
        if (windowMessages == 0) return false;
        --windowMessages;
        return true;
    }
    void SetLinkText(LinkText which, const std::string& t) override {
        if (which == LinkText::kStatus) messages.push_back(t);
        if (which == LinkText::kLink) links.push_back(t);
        if (which == LinkText::kVersion) versions.push_back(t);
    }
    void ShowTexts() override { ++pushes; }
    void ProgressStart(int m) override { progressMax = m; }
    void ProgressStep(int p) override { progress.push_back(p); }
    void ErrorBox(const std::string& t) override { boxes.push_back(t); }
    void Beep() override { ++beeps; }
    void Searching(bool running) override { busy = running; }
    void Trace(const std::string& t) override { traces.push_back(t); }
    // The driver check a session runs after the first connect.
    bool CheckDriver() {
        ++driverChecks;
        return driverOk;
    }
    bool OnDetectConnect() {
        return link.OnDetectConnect([this] { return CheckDriver(); });
    }
};
