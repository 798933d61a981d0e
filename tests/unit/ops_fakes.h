#pragma once
// The front end and the writer for the download and chip-operation tests: the
// session runs the real link, whose port is the emulator's writer model.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "tests/unit/recording_reporter.h"
#include "tests/unit/session_access.h"
#include "emulator/model_port.h"
#include "image/body_table.h"
#include "image/otp_file.h"
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
    // A valid driver block of a body no settings file lists.
    static std::vector<uint8_t> UnknownDriver() {
        std::vector<uint8_t> block(32, 0);
        block[0] = 0x55;
        block[1] = 0xAA;
        block[2] = 0x77;
        block[24] = static_cast<uint8_t>(0x55 + 0xAA + 0x77);
        return block;
    }
    void HoldDriverBytes(const std::vector<uint8_t>& block) {
        std::copy(block.begin(), block.end(), model.flash.begin() + emu::kDriverAddr);
    }
    void EraseDriverSector() {
        std::fill(model.flash.begin() + emu::kDriverAddr, model.flash.end(), 0xFF);
    }
};

// A session whose settings file lists the bodies below, with the writer model
// under its link and the front end above. Every scene is set up as a user or
// the writer would make it: files opened, downloads run, bodies chosen.
struct OpsFixture {
    std::string iniPath;
    IniProfile profile;
    FakeHost host;
    ModelWriter writer;
    Session session{profile, host, writer.port};

    static std::string FreshIni(const std::string& name) {
        const std::string path = ::testing::TempDir() + name + ".ini";
        std::ofstream(path, std::ios::binary) << "[Setting]\nver=new\nBodyName=ZK30P11C-4\n"
                                                 "[Body]\ncount=4\n"
                                                 "Body0=ZK30P11C-4,A6,3A6,2000,8,123456,BEEF\n"
                                                 "Body1=ZK20P08B,A0,A0,800,0,0,0\n"
                                                 "Body2=ZV62Q09,D8,E2,4000,0,0,0\n"
                                                 "Body3=ZV62Q03,C2,E0,4000,0,0,0\n";
        return path;
    }

    explicit OpsFixture(const std::string& name) : iniPath(FreshIni(name)), profile(iniPath) {
        session.SelectStartBody();
        // A chip of the selected body in the socket, the writer found on COM1
        // as at start-up, holding the driver of a body no table knows; then its
        // driver sector is blank, and what that took is forgotten.
        writer.Do("chip pid=A6 power=A6 soft=A6");
        writer.HoldDriverBytes(ModelWriter::UnknownDriver());
        session.DetectConnect();
        writer.EraseDriverSector();
        Forget();
    }
    ~OpsFixture() {
        for (const std::string& f : files) std::remove(f.c_str());
        std::remove(iniPath.c_str());
    }

    const BodyRecord& Body() const { return *session.SelectedBody(); }

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

    // A scratch file of this fixture, removed with it.
    std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = iniPath + "." + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        files.push_back(path);
        return path;
    }
    // Opens an image of the selected body holding `rom` and, unless withOpt is
    // false, eight option words; the writer still holds what it held.
    std::string OpenImage(const std::vector<uint16_t>& rom, bool withOpt = true) {
        PcBuffer image;
        image.m_pBin = rom;
        if (withOpt) image.m_pOpt = std::vector<uint16_t>(8, 0);
        const std::string path = File("image.otp", BuildOtpImage(image, Body()));
        session.OpenImage(path);
        Forget();
        return path;
    }
    // The same with `words` program words of 0.
    void OpenZeroImage(uint32_t words, bool withOpt = true) {
        OpenImage(std::vector<uint16_t>(words, 0), withOpt);
    }
    // Opens a voice image, which selects its voice body.
    void OpenVoiceImage() {
        session.OpenImage(File("song.e09", std::vector<uint8_t>(0x1000 + 0xC000, 0)));
        Forget();
    }
    // A download given up at its erase: the writer no longer holds the image.
    void FailDownload() {
        writer.Do("final B8 cmd=5C count=3");
        session.Download();
        Forget();
    }
    // The writer holds the selected body's driver block and an image that a
    // blank chip matches.
    void WriterHoldsBlankImage() {
        writer.HoldDriver(Body());
        std::fill(writer.model.flash.begin(), writer.model.flash.begin() + 2 * Body().nRomWords, 0);
    }
    // "&Auto" with these steps chosen.
    void RunAuto(const AutoSteps& steps) {
        session.SetAutoSteps(steps);
        session.Auto();
    }

    std::vector<std::string> files;
};

}  // namespace ops_test
