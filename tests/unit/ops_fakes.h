#pragma once
// The window double and the writer for the download and chip-operation tests:
// the operations run the real link, whose port is the emulator's writer model.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "emulator/model_port.h"
#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "writer/driver_block.h"
#include "writer/ops_context.h"
#include "writer/ops_link.h"
#include "writer/settings.h"

// Kept apart from the other suites' doubles of the same names.
namespace ops_test {

class FakeHost : public OpsHost {
  public:
    std::string message, driver, serialText, checksum = "-";
    std::vector<std::string> messages;  // every message line, in order
    std::vector<std::string> boxes;
    std::vector<bool> boxInfo;
    std::vector<int> progress;
    int progressRange = -1;
    std::vector<bool> windowEnables, controlEnables;
    bool answerYes = false;
    int prompts = 0, beeps = 0, pushes = 0, pulls = 0;
    const BodyTable* bodies = nullptr;
    Profile* profile = nullptr;
    int selectCalls = 0;

    void PullTexts() override { ++pulls; }
    void PushTexts() override { ++pushes; }
    void SetMessageText(const std::string& t) override {
        message = t;
        messages.push_back(t);
    }
    void SetDriverText(const std::string& t) override { driver = t; }
    void SetSerialText(const std::string& t) override { serialText = t; }
    void SetChecksumText(const std::string& t) override { checksum = t; }
    void SetProgressRange(int m) override { progressRange = m; }
    void SetProgressPos(int p) override { progress.push_back(p); }
    void Beep() override { ++beeps; }
    void ShowMessageBox(const std::string& t, bool info) override {
        boxes.push_back(t);
        boxInfo.push_back(info);
    }
    bool AskYesNo(const std::string&) override {
        ++prompts;
        return answerYes;
    }
    void EnableWindow(bool e) override { windowEnables.push_back(e); }
    void EnableOperationControls(bool e) override { controlEnables.push_back(e); }
    const BodyRecord* SelectBody() override {
        ++selectCalls;
        return FindSelectedBody(*profile, *bodies);
    }
    bool IsVoiceFile(const std::string& path) override {
        return path.size() > 4 && path.compare(path.size() - 4, 4, ".E03") == 0;
    }
};

// The window's side of the link: the same message line, boxes, progress bar
// and buttons as the operations report to.
class WindowLinkHost : public LinkHost {
  public:
    explicit WindowLinkHost(FakeHost& host) : m_host(host) {}
    bool PumpOneMessage() override { return false; }
    void SetMessageText(const std::string& t) override { m_host.SetMessageText(t); }
    void SetLinkText(const std::string&) override {}
    void SetVersionText(const std::string&) override {}
    void PushTexts() override { m_host.PushTexts(); }
    void SetProgressRange(int m) override { m_host.SetProgressRange(m); }
    void SetProgressPos(int p) override { m_host.SetProgressPos(p); }
    void Beep() override { m_host.Beep(); }
    void ShowMessageBox(const std::string& t) override { m_host.ShowMessageBox(t, false); }
    void EnableOperationControls(bool e) override { m_host.EnableOperationControls(e); }
    bool IsBusy() const override { return false; }
    bool CheckDriver() override { return true; }

  private:
    FakeHost& m_host;
};

// The writer on COM1: the emulator's model behind the link's port.
struct ModelWriter {
    explicit ModelWriter(FakeHost& host) : linkHost(host) {}
    emu::ModelPort port;
    emu::WriterModel& model = port.model;
    WindowLinkHost linkHost;
    WriterLink link{linkHost, port};
    WriterOpsLink ops{link};

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

// The window's serial-number members and the view the operations take of them.
struct SerialVars {
    bool on = false;
    uint32_t number = 0;
    uint32_t addr[4] = {1, 2, 3, 7};
    uint16_t save[4] = {};
    SerialNumber sn{on, number, addr, save};
    SerialVars() = default;
    SerialVars(const SerialVars&) = delete;
    SerialVars& operator=(const SerialVars&) = delete;
};

// A window's worth of state with two bodies and a settings file of its own.
struct OpsFixture {
    std::string iniPath;
    IniProfile profile;
    BodyTable bodies;
    PcBuffer buffer;
    const BodyRecord* pBody = nullptr;
    const BodyRecord* pDriverBody = nullptr;
    std::string fileName;
    bool downloaded = true;
    bool voice = false;
    bool checkId = false;
    SerialVars serialVars;
    SerialNumber& serial = serialVars.sn;
    FakeHost host;
    ModelWriter writer{host};
    OpsLink& link = writer.ops;
    OpsState state{buffer,   bodies,     profile, pBody,   pDriverBody,
                   fileName, downloaded, voice,   checkId, serial};

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
        host.bodies = &bodies;
        host.profile = &profile;
        // A chip of the selected body in the socket, the writer found on COM1
        // as at start-up; what that took is forgotten.
        writer.Do("chip pid=A6 power=A6 soft=A6");
        writer.link.EnsureConnected();
        Forget();
    }

    // Clears what the window and the line recorded so far.
    void Forget() {
        writer.port.sent.clear();
        host.messages.clear();
        host.message.clear();
        host.boxes.clear();
        host.boxInfo.clear();
        host.progress.clear();
        host.controlEnables.clear();
        host.windowEnables.clear();
        host.beeps = 0;
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
};

}  // namespace ops_test
