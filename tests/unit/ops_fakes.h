#pragma once
// Scripted writer and window for the download and chip-operation tests.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "image/body_table.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "core/session.h"
#include "writer/ops_context.h"

// Kept apart from the other suites' doubles of the same names.
namespace ops_test {

// Every frame the operations hand to the link, in order, plus the statuses
// that the writer answers with. A status queue per command code (byte 1 of the
// frame, or the operation mask for RunOperation as 0x100 + mask) is consumed
// one entry per call; an empty queue answers 0.
class FakeLink : public OpsLink {
  public:
    struct Sent {
        std::string kind;  // "poll", "send", "request", "op", "read", "write"
        std::vector<uint8_t> frame;
        uint32_t value = 0;  // code, mask or address
        uint16_t word = 0;
        int progressMax = 0;
    };

    explicit FakeLink(FrontEnd& host) : m_host(host) {}

    bool connected = true;
    std::vector<Sent> sent;
    std::map<uint32_t, std::deque<uint16_t>> statuses;
    std::map<uint8_t, std::vector<uint8_t>> replyData;  // per data command
    std::map<uint32_t, uint16_t> chipWords;             // ReadWord answers
    std::vector<std::pair<uint8_t, bool>> errors;       // ShowWriterError calls
    std::deque<uint16_t> queries;                       // Query answers

    uint16_t Next(uint32_t key) {
        auto& q = statuses[key];
        if (q.empty()) return 0;
        const uint16_t s = q.front();
        q.pop_front();
        return s;
    }

    bool EnsureConnected() override { return connected; }
    uint16_t Request(const uint8_t* frame, size_t count, uint8_t expected, uint8_t* dest,
                     size_t destSize) override {
        sent.push_back({"request", {frame, frame + count}, expected});
        const uint16_t s = Next(expected);
        if (s == 0) {
            const auto& d = replyData[expected];
            for (size_t i = 0; i < d.size() && i < destSize; ++i) dest[i] = d[i];
        }
        return s;
    }
    uint16_t Query(uint8_t command) override {
        sent.push_back({"query", {}, command});
        if (queries.empty()) return 0;
        const uint16_t r = queries.front();
        queries.pop_front();
        return r;
    }
    uint8_t SendAndPoll(const uint8_t* frame, size_t count, uint8_t expected, uint32_t,
                        int progressMax) override {
        sent.push_back({"send", {frame, frame + count}, expected, 0, progressMax});
        return static_cast<uint8_t>(Next(frame[1]));
    }
    uint8_t PollingCommand(uint8_t code) override {
        sent.push_back({"poll", {}, code});
        const uint8_t s = static_cast<uint8_t>(Next(code));
        if (s != 0) {
            m_host.Beep();
            m_host.SetText(FrontText::kMessage, code == 0x5A   ? "Failed to enter programming mode!"
                                                : code == 0x5B ? "Failed to exit programming mode!"
                                                               : "Failed to erase flash rom!");
        }
        return s;
    }
    uint8_t RunOperation(uint8_t mask, int progressMax) override {
        sent.push_back({"op", {}, mask, 0, progressMax});
        const uint8_t s = static_cast<uint8_t>(Next(0x100u + mask));
        if (s != 0) ShowWriterError(s, false);
        return s;
    }
    int ShowWriterError(uint8_t status, bool modal) override {
        errors.push_back({status, modal});
        if (status == 0) return 1;
        char text[32];
        std::snprintf(text, sizeof text, "status %02X", status);
        if (modal)
            m_host.ShowBox(text);
        else
            m_host.SetText(FrontText::kMessage, text);
        return 0;
    }
    uint16_t ReadWord(uint32_t addr) override {
        sent.push_back({"read", {}, addr});
        auto it = chipWords.find(addr);
        return it == chipWords.end() ? 0 : it->second;
    }
    uint8_t WriteWord(uint32_t addr, uint16_t word) override {
        sent.push_back({"write", {}, addr, word});
        return static_cast<uint8_t>(Next(0x57));
    }

    // Kinds of the sent items joined by blanks, e.g. "poll op poll".
    std::string Kinds() const {
        std::string s;
        for (const Sent& x : sent) s += (s.empty() ? "" : " ") + x.kind;
        return s;
    }
    size_t Count(const std::string& kind, uint32_t value) const {
        size_t n = 0;
        for (const Sent& x : sent) n += x.kind == kind && x.value == value;
        return n;
    }

  private:
    FrontEnd& m_host;
};

// The front end: what reaches the screen, and scripted answers to the boxes.
class FakeHost : public FrontEnd {
  public:
    std::string message, driver, serialText, checksum = "-", mcu;
    std::vector<std::string> boxes;
    std::vector<bool> boxInfo;
    std::vector<int> progress;
    int progressRange = -1;
    std::vector<bool> windowEnables, controlEnables;
    bool answerYes = false;
    int prompts = 0, beeps = 0, pushes = 0, pulls = 0, breaths = 0, hexMax = -1;
    std::vector<bool> voiceModes;

    void SetText(FrontText which, const std::string& t) override {
        switch (which) {
            case FrontText::kMessage:
                message = t;
                break;
            case FrontText::kDriver:
                driver = t;
                break;
            case FrontText::kSerial:
                serialText = t;
                break;
            case FrontText::kChecksum:
                checksum = t;
                break;
            case FrontText::kMcu:
                mcu = t;
                break;
            default:
                break;
        }
    }
    void AppendMessage(const std::string& t) override { message += t; }
    void PushTexts() override { ++pushes; }
    void PullTexts() override { ++pulls; }
    void ProgressStart(int m) override { progressRange = m; }
    void ProgressStep(int p) override { progress.push_back(p); }
    void ProgressEnd() override { progress.push_back(0); }
    int ShowBox(const std::string& t, unsigned flags) override {
        if (flags & kBoxYesNo) {
            ++prompts;
            return answerYes ? kAnswerYes : kAnswerNo;
        }
        boxes.push_back(t);
        boxInfo.push_back((flags & kBoxInformation) != 0);
        return kAnswerOk;
    }
    void Beep() override { ++beeps; }
    bool Breathe() override {
        ++breaths;
        return false;
    }
    void EnableOperationControls(bool e) override { controlEnables.push_back(e); }
    void ShowRunning(bool) override {}
    void EnableInput(bool e) override { windowEnables.push_back(e); }
    void ShowModes(bool voice, bool, bool) override { voiceModes.push_back(voice); }
    void ResetHexView(int maxRow) override { hexMax = maxRow; }
};

// A session with two bodies, a settings file of its own, a scripted writer
// under its operations and the front end above; the references name the
// session's state as the tests use it.
struct OpsFixture {
    std::string iniPath;
    IniProfile profile;
    FakeHost host;
    NoPort port;
    Session session{profile, host, port};
    FakeLink link{host};
    BodyTable& bodies = session.m_bodyTable;
    PcBuffer& buffer = session.m_buffer;
    const BodyRecord*& pBody = session.m_pBody;
    const BodyRecord*& pDriverBody = session.m_pDriverBody;
    std::string& fileName = session.m_strFileName;
    bool& downloaded = session.m_bDownloaded;
    bool& voice = session.m_bVoice;
    bool& checkId = session.m_bCheckId;
    SerialNumber& serial = session.m_serial;

    static std::string FreshIni(const std::string& name) {
        const std::string path = ::testing::TempDir() + name + ".ini";
        std::remove(path.c_str());
        return path;
    }

    explicit OpsFixture(const std::string& name) : iniPath(FreshIni(name)), profile(iniPath) {
        session.UseOpsLink(link);
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
        session.m_auto = steps;
        session.OnAuto();
    }
};

}  // namespace ops_test
