#pragma once
// Recording stand-in for what drives the link, with the link on a port of the
// writer model: every frame written is answered by the model or, when
// `device` is set, by that scripted responder. The link's news is recorded as
// the events the session passes on to the front ends.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/link_texts.h"
#include "emulator/model_port.h"
#include "tests/unit/recording_reporter.h"
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

class FakeHost {
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

    WriterLink link{port, [this](const LinkNews& news) { Hear(news); }};
    std::vector<Bytes>& sent = port.sent;
    std::vector<int>& opened = port.opened;
    std::deque<uint8_t>& pending = port.pending;
    int& writerPort = port.writerPort;
    uint32_t& now = port.now;

    RecordingReporter shown;
    std::vector<std::string>& messages = shown.messages;
    std::vector<std::string>& boxes = shown.boxes;
    std::vector<int>& progress = shown.progress;
    int& progressMax = shown.progressRange;
    std::vector<std::string> Links() const { return shown.TextsOf(Slot::kLink); }
    std::vector<std::string> Versions() const { return shown.TextsOf(Slot::kVersion); }
    int driverChecks = 0;
    bool driverOk = true;

    void OpenPort(int n) { port.Open(n); }
    int CountSent(uint8_t code) const { return port.CountSent(code); }

    void Hear(const LinkNews& news) {
        for (const Event& e : LinkNewsEvents(news)) shown.Report(e);
    }
    // The driver check a session runs after the first connect.
    bool CheckDriver() {
        ++driverChecks;
        return driverOk;
    }
    bool DetectConnect() {
        return link.DetectConnect([this] { return CheckDriver(); });
    }
};
