#pragma once
// The front end and the writer for the download and chip-operation tests: the
// session runs the real link, whose port is the emulator's writer model.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "tests/unit/recording_reporter.h"
#include "tests/unit/session_access.h"
#include "emulator/model_port.h"
#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "writer/driver_block.h"
#include "writer/driver_timing.h"

// Kept apart from the other suites' doubles of the same names.
namespace ops_test {

// The front end: the recording reporter, with the checksum label "-" until set.
struct FakeHost : RecordingReporter {
    FakeHost() { texts[Slot::kChecksum] = "-"; }
};

// The writer on COM1: the emulator's model behind the session's port.
struct ModelWriter {
    emu::ModelPort port;
    emu::WriterModel& model = port.model;

    // A control line of the emulator: faults, forced finals, chips, words.
    void Do(const std::string& line) { port.line.Control(line); }

    // The frames written, as "code" or, for operations, "59:mask"; pings,
    // version queries and polls, which every command brings, left out.
    std::string Commands() const {
        std::string s;
        char item[16];
        for (const auto& f : port.sent) {
            if (f[1] == 0x5E || f[1] == 0x5F || f[1] == 0x60) continue;
            if (f[1] == 0x59)
                std::snprintf(item, sizeof item, "59:%02X", f[2]);
            else
                std::snprintf(item, sizeof item, "%02X", f[1]);
            s += (s.empty() ? "" : " ") + std::string(item);
        }
        return s;
    }
    int Count(uint8_t code) const { return port.CountSent(code); }
    // Frames of one command code, in order.
    std::vector<std::vector<uint8_t>> Frames(uint8_t code) const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& f : port.sent)
            if (f[1] == code) out.push_back(f);
        return out;
    }
    // Chip-word commands (0x52 reads, 0x57 writes) at one address.
    int WordFrames(uint8_t code, uint32_t addr) const {
        int n = 0;
        for (const auto& f : Frames(code))
            n += static_cast<uint32_t>(f[2] | f[3] << 8 | f[4] << 16) == addr;
        return n;
    }
    // The writer's flash holds the driver block of this body.
    void HoldDriver(const BodyRecord& body) {
        const DriverFrame f = BuildDriverFrame(body, WriterSettings());
        std::copy(f.begin() + 5, f.begin() + 30, model.flash.begin() + emu::kDriverAddr);
    }
    void HoldDriverBytes(const std::vector<uint8_t>& block) {
        std::copy(block.begin(), block.end(), model.flash.begin() + emu::kDriverAddr);
    }
    void EraseDriverSector() {
        std::fill(model.flash.begin() + emu::kDriverAddr, model.flash.end(), 0xFF);
    }
};

// A session with two bodies, a settings file of its own, the writer model
// under its link and the front end above; the references name the session's
// state as the tests use it.
struct OpsFixture {
    std::string iniPath;
    IniProfile profile;
    FakeHost host;
    ModelWriter writer;
    Session session{profile, host, writer.port};
    WriterLink& link = Peek(session).m_link;
    BodyTable& bodies = Peek(session).m_bodyTable;
    PcBuffer& buffer = Peek(session).m_buffer;
    const BodyRecord*& pBody = Peek(session).m_pBody;
    const BodyRecord*& pDriverBody = Peek(session).m_pDriverBody;
    std::string& fileName = Peek(session).m_strFileName;
    bool& downloaded = Peek(session).m_bDownloaded;
    bool& voice = Peek(session).m_bVoice;
    SerialNumber& serial = Peek(session).m_serial;

    static std::string FreshIni(const std::string& name) {
        const std::string path = ::testing::TempDir() + name + ".ini";
        std::remove(path.c_str());
        return path;
    }

    explicit OpsFixture(const std::string& name) : iniPath(FreshIni(name)), profile(iniPath) {
        auto a = std::make_unique<BodyRecord>();
        std::snprintf(a->szName, sizeof a->szName, "ZK30P11C-4");
        a->nPID = 0xA6;
        a->nOID = 0x3A6;
        a->nKind = 4;
        a->nRomWords = 0x2000;
        a->wOptWords = 8;
        a->dwOptAddr = 0x8000;
        a->nExtraAddr = 0x123456;
        a->wExtra = 0xBEEF;
        a->bReset = 1;
        auto b = std::make_unique<BodyRecord>();
        std::snprintf(b->szName, sizeof b->szName, "ZK20P08B");
        b->nPID = 0xA0;
        b->nOID = 0xA0;
        b->nRomWords = 0x800;
        pBody = a.get();
        bodies["ZK30P11C-4"] = std::move(a);
        bodies["ZK20P08B"] = std::move(b);
        // A chip of the selected body in the socket, the writer found on COM1
        // as at start-up; what that took is forgotten.
        writer.Do("chip pid=A6 power=A6 soft=A6");
        link.EnsureConnected();
        Forget();
    }

    // Clears what the front end and the line recorded so far.
    void Forget() {
        writer.port.sent.clear();
        host.Forget();
        host.Message().clear();
    }
    // The writer stops answering (unplugged).
    void Unplug() { writer.port.writerPort = 0; }
    size_t Seen(const std::string& message) const {
        return static_cast<size_t>(std::count(host.messages.begin(), host.messages.end(), message));
    }
    ~OpsFixture() { std::remove(iniPath.c_str()); }

    void LoadBuffer(uint32_t words, bool withOpt = true) {
        buffer.m_pBin = std::vector<uint16_t>(words, 0);
        buffer.m_nBinWords = words;
        if (withOpt) {
            buffer.m_pOpt = std::vector<uint16_t>(8, 0);
            buffer.m_wOptWords = 8;
        }
    }
    // "&Auto" with these steps chosen.
    void RunAuto(const AutoSteps& steps) {
        session.SetAutoSteps(steps);
        session.Auto();
    }
};

}  // namespace ops_test
