// pyrocmd's commands as a script meets them: the console program on the
// writer model, its output, its messages and its exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/ini_profile.h"
#include "console/output.h"
#include "console/pyrocmd.h"
#include "emulator/model_port.h"
#include "image/body_table.h"
#include "image/otp_file.h"
#include "tests/unit/temp_path.h"
#include "writer/protocol.h"

namespace {

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class PyrocmdTest : public ::testing::Test {
  protected:
    PyrocmdTest() : ini_(CopySettings(TestTempPath(".ini"))), profile_(ini_) {
        io_.out = [this](const std::string& t) { out_ += t; };
        io_.err = [this](const std::string& t) { err_ += t; };
        io_.waitEnter = [this] {
            return enters_-- > 0 ? EnterReply::kGo : EnterReply::kInputEnded;
        };
        port_.beforeReply = [this](const emu::Bytes&) {
            if (onBreathe_) onBreathe_();
        };
        io_.tickMs = [this] { return port_.now; };
        // A handler that brings a new blank chip whenever one leaves programming mode.
        port_.line.Control("chip pid=A6 power=A6 soft=A6");
        port_.line.Control("swap on");
    }
    ~PyrocmdTest() override {
        chmod(ini_.c_str(), 0644);
        std::remove(ini_.c_str());
        for (const std::string& f : files_) std::remove(f.c_str());
    }

    static std::string CopySettings(const std::string& path) {
        std::ofstream(path, std::ios::binary) << ReadText(PYRO_SAMPLES_DIR "/Larkspur.ini");
        return path;
    }

    // An image of the sample settings' first body whose serial words are blank.
    std::string Image() {
        BodyTable bodies;
        LoadBodyTable(profile_, bodies);
        PcBuffer buf;
        buf.m_pBin = std::vector<uint16_t>(0x100, 0x3F00);
        buf.m_pOpt = std::vector<uint16_t>{0x3FFF};
        const std::vector<uint8_t> bytes = BuildOtpImage(buf, *LookupBody(bodies, "ZK30P11C-4"));
        files_.push_back(WriteTestFile(".otp", bytes));
        return files_.back();
    }

    int Run(const std::vector<std::string>& args) {
        out_.clear();
        err_.clear();
        const ConsoleArgs parsed = ParseConsoleArgs(args);
        EXPECT_EQ(parsed.strError, "");
        return RunPyrocmd(parsed, profile_, {&port_}, io_, ::testing::TempDir(), ini_);
    }

    std::string ini_;
    std::vector<std::string> files_;
    IniProfile profile_;
    emu::ModelPort port_;  // the writer on COM1
    ConsoleIo io_;
    std::string out_, err_;
    int enters_ = 0;
    std::function<void()> onBreathe_;  // before each reply of the writer
};

TEST_F(PyrocmdTest, WriterUnpluggedDuringAChipStopsTheRunAsAStationFault) {
    const std::string image = Image();
    // The writer goes away once the second chip is in programming mode.
    onBreathe_ = [this] {
        if (port_.CountSent(CMD_ENTER_PROG) == 2) port_.line.Control("unplug");
    };
    const int code = Run({"run", image, "--count", "3", "--no-wait"});
    EXPECT_EQ(code, 3);
    const std::vector<std::string> lines = Lines(out_);
    ASSERT_EQ(lines.size(), 4u) << out_;
    EXPECT_EQ(lines[0], "Download OK!");
    EXPECT_EQ(lines[1], "Chip 1  PASS  Blank Check/Programming/Verify OK!");
    // The chip it was on counts as failed; the one after it was never touched.
    EXPECT_EQ(lines[2].rfind("Chip 2  FAIL  ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("Passed: 1, failed: 1, ", 0), 0u) << lines[3];
    EXPECT_NE(err_.find("pyrocmd: the writer on COM1 stopped answering\n"), std::string::npos)
        << err_;
}

TEST_F(PyrocmdTest, NoWriterIsSaidWithThePortsSearched) {
    port_.writerPort = 0;
    EXPECT_EQ(Run({"blank"}), 3);
    EXPECT_EQ(err_, "pyrocmd: no writer answers on COM1, COM2, COM3\n");
    EXPECT_EQ(out_, "Disconnected from the Pyrograph.\n");
    EXPECT_EQ(Run({"detect", "--port", "2"}), 3);
    EXPECT_EQ(err_, "pyrocmd: no writer answers on COM2\n");
    EXPECT_EQ(Run({"run", Image(), "--count", "2", "--no-wait"}), 3);
    EXPECT_EQ(out_.find("Chip"), std::string::npos);  // no chip was touched
}

TEST_F(PyrocmdTest, UnwritableLogKeepsItsLinesPendingForTheNextRun) {
    // A folder where the log file should be.
    const std::string folder = TestTempPath("-log");
    const std::string pending = folder + ".pending";
    files_.push_back(pending);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    profile_.WriteString("Log", "File", folder);
    const int code = Run({"run", Image(), "--count", "2", "--no-wait"});
    rmdir(folder.c_str());
    EXPECT_EQ(code, 8);
    EXPECT_NE(out_.find("Chip 1  PASS  Blank Check/Programming/Verify OK!\n"), std::string::npos);
    EXPECT_NE(out_.find("Chip 2  PASS  Blank Check/Programming/Verify OK!\n"), std::string::npos);
    EXPECT_EQ(err_, "pyrocmd: Cannot write the log file '" + folder + "'!\n");
    EXPECT_EQ(Lines(out_).back(),
              "2 log lines could not be written: they wait in '" + pending + "'");
    EXPECT_EQ(Lines(ReadText(pending)).size(), 2u);

    // The next run that can write the log puts them first, and the file goes.
    files_.push_back(folder);
    EXPECT_EQ(Run({"run", Image(), "--count", "1", "--no-wait", "--json"}), 0);
    const std::vector<std::string> log = Lines(ReadText(folder));
    ASSERT_EQ(log.size(), 4u);  // the header, two kept lines, this run's
    EXPECT_EQ(log[1].find(",Auto,"), log[3].find(",Auto,"));
    EXPECT_FALSE(std::ifstream(pending).good());
    EXPECT_NE(out_.find("\"stopped\":null,\"log_pending\":null}"), std::string::npos) << out_;
}

TEST_F(PyrocmdTest, FailedDownloadStopsTheCommandBeforeTheChip) {
    // Past the driver block the search for the writer repairs: a frame of the image.
    port_.line.Control("fault noreply cmd=56 skip=1 count=3");
    EXPECT_EQ(Run({"auto", Image()}), 1);
    EXPECT_EQ(Lines(out_), std::vector<std::string>{"Download fail!"});
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 0);
    for (const emu::Bytes& f : port_.sent)
        if (f[1] == CMD_OPERATION) EXPECT_EQ(f[2], OP_DRIVER);  // the driver's, no chip step
}

TEST_F(PyrocmdTest, ImageThatCannotTakeTheNumberStopsTheRunBeforeAnyChip) {
    // The shipped sample holds data where the serial number would go.
    const int code =
        Run({"run", PYRO_SAMPLES_DIR "/ZK30P11C-4.otp", "--count", "3", "--no-wait", "--serial"});
    EXPECT_EQ(code, 4);
    EXPECT_EQ(out_.find("Chip"), std::string::npos);
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 0);
    EXPECT_NE(err_.find("ZK30P11C-4.otp: S/N address are not blank in the OTP file!"),
              std::string::npos)
        << err_;
}

TEST_F(PyrocmdTest, SerialNumberThatCannotBeSavedIsAStationFault) {
    profile_.WriteInt("Serial", "Data", 0x100);
    const std::string image = Image();
    ASSERT_EQ(chmod(ini_.c_str(), 0444), 0);
    EXPECT_EQ(Run({"run", image, "--count", "3", "--no-wait", "--serial"}), 6);
    // The first chip met it; the run stopped there.
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 1);
    EXPECT_EQ(port_.CountSent(CMD_WRITE_WORD), 0);
    EXPECT_NE(err_.find("The next serial number could not be saved"), std::string::npos) << err_;
}

TEST_F(PyrocmdTest, BurnedNumberIsNamedAndNotHandedOutAgain) {
    profile_.WriteInt("Serial", "Data", 0x100);
    profile_.WriteString("Log", "File", TestTempPath(".csv"));
    files_.push_back(TestTempPath(".csv"));
    // The first chip's second word goes unanswered three times.
    port_.line.Control("fault noreply cmd=57 skip=1 count=3");
    EXPECT_EQ(Run({"run", Image(), "--count", "2", "--no-wait", "--serial"}), 1);
    const std::vector<std::string> lines = Lines(out_);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Chip 1  FAIL  S/N:00000100H (burned)  Failed to write serial number!");
    EXPECT_EQ(lines[2], "Chip 2  PASS  S/N:00000101H  Blank Check/Programming/Verify OK!");
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x102);
    const std::string log = ReadText(TestTempPath(".csv"));
    EXPECT_NE(log.find(",00000100H,burned,Failed to write serial number!,FAIL,"), std::string::npos)
        << log;
    EXPECT_NE(log.find(",00000101H,written,"), std::string::npos) << log;
}

TEST_F(PyrocmdTest, ChipInfoOfAnUnknownChipFails) {
    EXPECT_EQ(Run({"chipinfo"}), 0);
    EXPECT_EQ(Lines(out_)[0], "MCU:ZK30P11C-4");
    port_.line.Control("chip pid=A6 power=77 soft=77");
    EXPECT_EQ(Run({"chipinfo", "--json"}), 1);
    EXPECT_NE(out_.find("\"result\":\"MCU:Cannot identify"), std::string::npos) << out_;
    EXPECT_NE(out_.find("\"pass\":false"), std::string::npos);
}

TEST_F(PyrocmdTest, LoadFailuresNameTheFile) {
    EXPECT_EQ(Run({"info", "/no/such/dir/a.otp"}), 4);
    EXPECT_EQ(err_, "pyrocmd: /no/such/dir/a.otp: Failed to open file!\n");
    EXPECT_EQ(out_, "Failed to open file!\n");
}

TEST_F(PyrocmdTest, RunWaitsForEnterAndStopsWhenTheInputEnds) {
    enters_ = 1;
    EXPECT_EQ(Run({"run", Image(), "--count", "2"}), 0);
    EXPECT_EQ(err_,
              "Put chip 1 in the socket, then press Enter.\n"
              "Put chip 2 in the socket, then press Enter.\n"
              "pyrocmd: the input has ended: the run stops\n");
    EXPECT_EQ(Lines(out_)[1], "Chip 1  PASS  Blank Check/Programming/Verify OK!");
    EXPECT_EQ(Lines(out_).size(), 3u);

    // q and Enter ends it the same way, quietly: it was asked for.
    std::vector<EnterReply> replies{EnterReply::kGo, EnterReply::kQuit};
    io_.waitEnter = [&replies] {
        const EnterReply r = replies.front();
        replies.erase(replies.begin());
        return r;
    };
    EXPECT_EQ(Run({"run", Image(), "--count", "5"}), 0);
    EXPECT_EQ(err_,
              "Put chip 1 in the socket, then press Enter.\n"
              "Put chip 2 in the socket, then press Enter.\n");
    EXPECT_NE(out_.find(", stopped: quit\n"), std::string::npos) << out_;
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 1 + 1);  // this run's one chip after the first run's
    EXPECT_EQ(Lines(out_).back().rfind("Passed: 1, failed: 0, ", 0), 0u) << out_;

    // Ctrl+C at the prompt: at once, with the summary.
    io_.waitEnter = [] { return EnterReply::kInterrupted; };
    EXPECT_EQ(Run({"run", Image(), "--count", "5", "--json"}), 130);
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 2);
    EXPECT_NE(Lines(out_).back().find("\"stopped\":\"interrupt\""), std::string::npos) << out_;

    EXPECT_EQ(ReadEnterReply(""), EnterReply::kGo);
    EXPECT_EQ(ReadEnterReply(" q\r"), EnterReply::kQuit);
    EXPECT_EQ(ReadEnterReply("Q"), EnterReply::kQuit);
    EXPECT_EQ(ReadEnterReply("quit"), EnterReply::kGo);
}

TEST_F(PyrocmdTest, MaxFailsStopsAfterThatManyFailedChipsInARow) {
    // Chips 2, 4, 5 and 6 fail: the row of one is broken by chip 3, the row
    // of three ends the run before chip 7.
    int chip = 0;
    port_.beforeReply = [&](const emu::Bytes& f) {
        if (f[1] != CMD_ENTER_PROG) return;
        ++chip;
        if (chip == 2 || chip >= 4) port_.line.Control("final B1 cmd=59");
    };
    EXPECT_EQ(Run({"run", Image(), "--count", "10", "--no-wait", "--max-fails", "3"}), 1);
    EXPECT_EQ(chip, 6);
    EXPECT_NE(err_.find("pyrocmd: 3 chips failed in a row (--max-fails): the run stops\n"),
              std::string::npos)
        << err_;
    EXPECT_EQ(Lines(out_).back().rfind("Passed: 2, failed: 4, ", 0), 0u) << out_;
}

TEST_F(PyrocmdTest, JsonCarriesNumbersAsNumbers) {
    EXPECT_EQ(Run({"info", Image(), "--json"}), 0);
    const Json image = Json::parse(out_);
    EXPECT_EQ(image["type"], "image");
    EXPECT_EQ(image["layout"], kJsonLayout);
    EXPECT_EQ(image["pid"], 0xA6);
    EXPECT_EQ(image["oid"], 0xA6);
    EXPECT_EQ(image["rom_words"], 0x100);
    EXPECT_EQ(image["option_words"], Json::array({0x3FFF}));
    EXPECT_TRUE(image["checksum"].is_number_unsigned());
    EXPECT_EQ(image["body"], "ZK30P11C-4");

    profile_.WriteInt("Serial", "Data", 0x1F7);
    EXPECT_EQ(Run({"run", Image(), "--count", "1", "--no-wait", "--serial", "--json"}), 0);
    const std::vector<std::string> lines = Lines(out_);
    ASSERT_EQ(lines.size(), 3u) << out_;
    const Json chip = Json::parse(lines[1]);
    EXPECT_EQ(chip["serial"], 0x1F7);
    EXPECT_EQ(chip["pass"], true);
    const Json summary = Json::parse(lines[2]);
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["yield_percent"], 100.0);
    EXPECT_TRUE(summary["seconds"].is_number());
}

}  // namespace

namespace {

// The serial numbers written into the model's chips, in the order the words
// went out: byte 0's word at address 1 ... byte 3's at 7 (the defaults).
std::vector<uint32_t> NumbersWritten(const emu::ModelPort& port) {
    std::vector<uint32_t> numbers;
    uint32_t n = 0;
    int bytes = 0;
    for (const emu::Bytes& f : port.sent) {
        if (f[1] != CMD_WRITE_WORD) continue;
        const uint32_t addr = static_cast<uint32_t>(f[2] | f[3] << 8 | f[4] << 16);
        const int i = addr == 7 ? 3 : static_cast<int>(addr) - 1;
        n |= static_cast<uint32_t>(f[5]) << (8 * i);
        if (++bytes == 4) {
            numbers.push_back(n);
            n = 0;
            bytes = 0;
        }
    }
    return numbers;
}

class GangTest : public PyrocmdTest {
  protected:
    GangTest() {
        second_.writerPort = 2;
        second_.line.Control("chip pid=A6 power=A6 soft=A6");
        second_.line.Control("swap on");
        io_.tickMs = [] { return 0u; };
    }
    int RunGang(const std::vector<std::string>& args) {
        out_.clear();
        err_.clear();
        const ConsoleArgs parsed = ParseConsoleArgs(args);
        EXPECT_EQ(parsed.strError, "");
        return RunPyrocmd(parsed, profile_, {&port_, &second_}, io_, ::testing::TempDir(), ini_);
    }
    emu::ModelPort second_;  // the writer on COM2
};

TEST_F(GangTest, TwoWritersShareTheChipsAndNeverANumber) {
    profile_.WriteInt("Serial", "Data", 0x500);
    profile_.WriteString("Log", "File", TestTempPath(".csv"));
    files_.push_back(TestTempPath(".csv"));
    EXPECT_EQ(RunGang({"run", Image(), "--count", "6", "--ports", "1,2", "--no-wait", "--serial"}),
              0);
    int chips = 0;
    for (const std::string& line : Lines(out_)) {
        if (line.find("  Chip ") == std::string::npos) continue;
        ++chips;
        EXPECT_TRUE(line.rfind("COM1  Chip ", 0) == 0 || line.rfind("COM2  Chip ", 0) == 0) << line;
        EXPECT_NE(line.find("  PASS  S/N:00000"), std::string::npos) << line;
    }
    EXPECT_EQ(chips, 6);
    std::vector<uint32_t> numbers = NumbersWritten(port_);
    const std::vector<uint32_t> more = NumbersWritten(second_);
    numbers.insert(numbers.end(), more.begin(), more.end());
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<uint32_t>{0x500, 0x501, 0x502, 0x503, 0x504, 0x505}));
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x506);
    // Both downloaded the image once; the summary has a line for each and the total.
    EXPECT_EQ(port_.CountSent(CMD_ERASE_FLASH), 1);
    EXPECT_EQ(second_.CountSent(CMD_ERASE_FLASH), 1);
    const std::vector<std::string> lines = Lines(out_);
    EXPECT_EQ(lines.back().rfind("Passed: 6, failed: 0, ", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 3].rfind("COM1  Passed: ", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("COM2  Passed: ", 0), 0u);
    // One log for both, a line for each chip with its port.
    const std::vector<std::string> log = Lines(ReadText(TestTempPath(".csv")));
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& l) { return l.find(",COM2,") != std::string::npos; }),
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& l) { return l.rfind("COM2  Chip", 0) == 0; }));
}

TEST_F(GangTest, AWriterThatStopsAnsweringLeavesTheRun) {
    // COM2's writer goes away as it takes its second chip. COM1 holds its own
    // second chip until then: both writers are under way whatever pace the
    // threads run at.
    std::mutex mutex;
    std::condition_variable gone;
    bool unplugged = false;
    int enters1 = 0, enters2 = 0;
    auto entersProgramming = [](const emu::Bytes& f) {
        return f.size() > 1 && f[1] == CMD_ENTER_PROG;
    };
    second_.beforeReply = [&](const emu::Bytes& f) {
        if (!entersProgramming(f) || ++enters2 != 2) return;
        second_.line.Control("unplug");
        std::lock_guard<std::mutex> lock(mutex);
        unplugged = true;
        gone.notify_all();
    };
    port_.beforeReply = [&](const emu::Bytes& f) {
        if (!entersProgramming(f) || ++enters1 != 2) return;
        std::unique_lock<std::mutex> lock(mutex);
        gone.wait_for(lock, std::chrono::seconds(10), [&] { return unplugged; });
    };
    EXPECT_EQ(RunGang({"run", Image(), "--count", "5", "--ports", "1,2", "--no-wait"}), 1);
    const std::vector<std::string> lines = Lines(out_);
    int com1 = 0, com2 = 0;
    for (const std::string& l : lines) {
        com1 += l.rfind("COM1  Chip", 0) == 0;
        com2 += l.rfind("COM2  Chip", 0) == 0;
    }
    EXPECT_EQ(com1 + com2, 5);  // the others go on to the total
    EXPECT_EQ(com2, 2);         // its chip under way counts, as failed
    EXPECT_NE(out_.find("COM2  Passed: 1, failed: 1, "), std::string::npos) << out_;
    EXPECT_NE(out_.find("dropped: the writer stopped answering"), std::string::npos);
    EXPECT_NE(err_.find("pyrocmd: the writer on COM2 stopped answering: it leaves the run"),
              std::string::npos)
        << err_;
}

TEST_F(GangTest, NoWriterOnAListedPortTouchesNoChip) {
    second_.writerPort = 0;
    EXPECT_EQ(RunGang({"run", Image(), "--count", "4", "--ports", "1,2", "--no-wait"}), 3);
    EXPECT_NE(err_.find("pyrocmd: no writer answers on COM2\n"), std::string::npos) << err_;
    port_.writerPort = 0;
    EXPECT_EQ(RunGang({"run", Image(), "--count", "4", "--ports", "1,2", "--no-wait"}), 3);
    EXPECT_NE(err_.find("pyrocmd: no writer answers on COM1, COM2\n"), std::string::npos) << err_;
    EXPECT_EQ(port_.CountSent(CMD_ENTER_PROG), 0);
    EXPECT_EQ(port_.CountSent(CMD_ERASE_FLASH), 0);
}

// Three ports of two adapters: COM1's has serial A1, COM2 and COM4 share B7.
PortScan AdapterScan() {
    PortScan scan;
    const auto add = [&](const char* name, const char* serial, const char* location) {
        PortSighting s;
        s.strName = name;
        s.source = kPortFromSetupApi;
        s.bUsb = true;
        s.strSerial = serial;
        s.strLocation = location;
        scan.sightings.push_back(s);
    };
    add("COM1", "A1", "PCIROOT(0)#USB(1)");
    add("COM2", "B7", "PCIROOT(0)#USB(2)#USBMI(0)");
    add("COM4", "B7", "PCIROOT(0)#USB(2)#USBMI(1)");
    return scan;
}

TEST_F(GangTest, PositionsNamedByAdapterLeadTheRunAndItsLines) {
    io_.listPorts = AdapterScan;
    profile_.WriteString("Ports", "Left", "usb:A1");
    profile_.WriteString("Ports", "Right", "usb:B7");
    const std::vector<std::string> run = {"run",     Image(),      "--count",  "4",
                                          "--ports", "Left,Right", "--no-wait"};
    // A shared serial cannot tell the sockets apart: nothing is sent to any writer.
    EXPECT_EQ(RunGang(run), 3);
    EXPECT_EQ(err_, "pyrocmd: Right (usb:B7 matches COM2, COM4: it must name one port)\n");
    EXPECT_TRUE(port_.sent.empty());
    EXPECT_TRUE(second_.sent.empty());

    profile_.WriteString("Ports", "Right", "loc:pciroot(0)#usb(2)#usbmi(0)");
    profile_.WriteString("Log", "File", TestTempPath(".csv"));
    files_.push_back(TestTempPath(".csv"));
    EXPECT_EQ(RunGang(run), 0) << err_;
    int left = 0, right = 0;
    for (const std::string& line : Lines(out_)) {
        left += line.rfind("COM1 (Left)  Chip ", 0) == 0;
        right += line.rfind("COM2 (Right)  Chip ", 0) == 0;
    }
    EXPECT_EQ(left + right, 4) << out_;
    EXPECT_NE(out_.find("\nCOM2 (Right)  Passed: "), std::string::npos) << out_;
    const std::string log = ReadText(TestTempPath(".csv"));
    size_t logged = 0;
    for (size_t at = log.find(",COM2 (Right),"); at != std::string::npos;
         at = log.find(",COM2 (Right),", at + 1))
        ++logged;
    EXPECT_EQ(logged, static_cast<size_t>(right));

    EXPECT_EQ(
        RunGang({"--json", "run", Image(), "--count", "2", "--ports", "Left,COM2", "--no-wait"}),
        0);
    EXPECT_NE(out_.find("\"type\":\"chip\",\"layout\":1,\"port\":\"COM1\",\"position\":\"Left\","),
              std::string::npos)
        << out_;
    EXPECT_NE(out_.find("{\"port\":\"COM1\",\"position\":\"Left\",\"passed\":"), std::string::npos);
}

TEST_F(PyrocmdTest, OneWriterNamedByItsAdapter) {
    io_.listPorts = AdapterScan;
    EXPECT_EQ(Run({"detect", "--port", "usb:a1"}), 0);
    EXPECT_EQ(out_.rfind("Writer on COM1\n", 0), 0u) << out_;
    EXPECT_EQ(Run({"detect", "--port", "usb:C3"}), 3);
    EXPECT_EQ(err_, "pyrocmd: usb:C3 matches no port present\n");
    // The search list may name adapters too, each resolved before the search.
    profile_.WriteString("Setting", "Ports", "loc:PCIROOT(0)#USB(2)#USBMI(1), usb:A1");
    port_.opened.clear();
    EXPECT_EQ(Run({"detect"}), 0) << err_;
    EXPECT_EQ(port_.opened, (std::vector<int>{4, 1}));
    profile_.WriteString("Setting", "Ports", "usb:B7");
    EXPECT_EQ(Run({"detect"}), 3);
    EXPECT_EQ(err_, "pyrocmd: [Setting] Ports: usb:B7 matches COM2, COM4: it must name one port\n");
    EXPECT_EQ(Run({"info", Image()}), 0);  // no writer asked, no name to match
}

TEST_F(GangTest, AWriterWhoseDownloadFailsLeavesTheRun) {
    // Every erase of COM2's flash is refused.
    second_.line.Control("fault refuse cmd=5C count=99");
    EXPECT_EQ(RunGang({"run", Image(), "--count", "3", "--ports", "1,2", "--no-wait", "--json"}),
              1);
    const std::vector<std::string> lines = Lines(out_);
    int com1 = 0;
    for (const std::string& l : lines)
        com1 += l.find("\"port\":\"COM1\",\"chip\"") != std::string::npos;
    EXPECT_EQ(com1, 3);
    EXPECT_NE(
        out_.find("{\"type\":\"result\",\"layout\":1,\"port\":\"COM2\",\"command\":\"download\","),
        std::string::npos)
        << out_;
    EXPECT_NE(lines.back().find("\"port\":\"COM2\",\"passed\":0,\"failed\":0,"), std::string::npos);
    EXPECT_NE(lines.back().find("\"dropped\":\"the download failed\""), std::string::npos) << out_;
}

TEST_F(GangTest, EachRoundAsksForAChipInEverySocket) {
    enters_ = 2;
    EXPECT_EQ(RunGang({"run", Image(), "--count", "3", "--ports", "COM1,COM2"}), 0);
    EXPECT_EQ(err_,
              "Put chips in the sockets of COM1, COM2, then press Enter.\n"
              "Put chips in the sockets of COM1, then press Enter.\n");
}

TEST_F(PyrocmdTest, SerialEndStopsTheRunBeforeANumberPastIt) {
    profile_.WriteInt("Serial", "Data", 0x1FE);
    profile_.WriteString("Serial", "End", "0x1FF");
    EXPECT_EQ(Run({"run", Image(), "--count", "4", "--no-wait", "--serial"}), 5);
    EXPECT_EQ(NumbersWritten(port_), (std::vector<uint32_t>{0x1FE, 0x1FF}));
    EXPECT_NE(err_.find("used up"), std::string::npos) << err_;
    EXPECT_EQ(err_.find("used up"), err_.rfind("used up")) << err_;
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x200);
    EXPECT_EQ(Lines(out_).size(), 4u);  // download, two chips, the summary
}

TEST_F(PyrocmdTest, ProgramsRunningAtOnceNeverHandOutANumberTwice) {
    profile_.WriteInt("Serial", "Data", 0x100);
    const std::string image = Image();
    emu::ModelPort other;
    other.line.Control("chip pid=A6 power=A6 soft=A6");
    other.line.Control("swap on");
    // A second program: its own settings object on the same file, its own port.
    std::thread second([&] {
        IniProfile profile(ini_);
        ConsoleIo io;
        io.out = io.err = [](const std::string&) {};
        const ConsoleArgs a =
            ParseConsoleArgs({"run", image, "--count", "5", "--no-wait", "--serial"});
        RunPyrocmd(a, profile, {&other}, io, ::testing::TempDir(), ini_);
    });
    EXPECT_EQ(Run({"run", image, "--count", "5", "--no-wait", "--serial"}), 0) << err_;
    second.join();
    std::vector<uint32_t> numbers = NumbersWritten(port_);
    const std::vector<uint32_t> more = NumbersWritten(other);
    numbers.insert(numbers.end(), more.begin(), more.end());
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_EQ(numbers.size(), 10u);
    EXPECT_GT(static_cast<uint32_t>(profile_.GetInt("Serial", "Data", 0)), numbers.back());
}

TEST_F(PyrocmdTest, InterruptedRunFinishesItsChipAndLogsTheNumberNoChipGot) {
    profile_.WriteInt("Serial", "Data", 0x40);
    profile_.WriteString("Log", "File", TestTempPath(".csv"));
    files_.push_back(TestTempPath(".csv"));
    // Ctrl+C during the second chip, which fails before its number goes in.
    bool stop = false;
    io_.stopRequested = [&stop] { return stop; };
    onBreathe_ = [&] {
        if (port_.CountSent(CMD_ENTER_PROG) == 2 && !stop) {
            stop = true;
            port_.line.Control("final B1 cmd=59");
        }
    };
    EXPECT_EQ(Run({"run", Image(), "--count", "5", "--no-wait", "--serial"}), 130);
    const std::vector<std::string> lines = Lines(out_);
    ASSERT_EQ(lines.size(), 4u) << out_;
    EXPECT_EQ(lines[2], "Chip 2  FAIL  Not Blank!");
    const std::string log = ReadText(TestTempPath(".csv"));
    EXPECT_NE(log.find(",00000041H,unused,Not used: no chip took it before the end,,,,3"),
              std::string::npos)
        << log;
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 0x42);
}

TEST_F(PyrocmdTest, NumbersADeadProgramReservedAreLoggedAsBurned) {
    profile_.WriteInt("Serial", "Data", 0x22);
    profile_.WriteString("Log", "File", TestTempPath(".csv"));
    files_.push_back(TestTempPath(".csv"));
    files_.push_back(ini_ + ".serials");
    // A program gone without a trace but its journal: 0x20 was settled, 0x21 not.
    std::ofstream(ini_ + ".serials") << "R 32 999999999-1\nS 32 999999999-1\nR 33 999999999-1\n";
    EXPECT_EQ(Run({"program", Image(), "--serial"}), 0);
    EXPECT_EQ(out_, "Download OK!\nS/N:00000022H  Program OK!\n");
    EXPECT_NE(err_.find("S/N:00000021H Found after a crash"), std::string::npos) << err_;
    const std::vector<std::string> log = Lines(ReadText(TestTempPath(".csv")));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[1].find(",S/N,00000021H,burned,Found after a crash: "), std::string::npos);
    EXPECT_NE(log[2].find(",00000022H,written,"), std::string::npos);
    // Reported once.
    EXPECT_EQ(Run({"program", Image(), "--serial"}), 0);
    EXPECT_EQ(err_, "");
}

TEST_F(PyrocmdTest, WrongImageChecksumRefusesTheRun) {
    const std::string image = Image();
    EXPECT_EQ(Run({"run", image, "--count", "1", "--no-wait", "--checksum", "0000", "--json"}), 4);
    EXPECT_NE(err_.find("not the image asked for"), std::string::npos) << err_;
    EXPECT_EQ(port_.CountSent(CMD_PING), 0);
    EXPECT_EQ(out_.rfind("{\"type\":\"result\",\"layout\":1,\"command\":\"run\",", 0), 0u);
    EXPECT_NE(out_.find("\"pass\":false,\"step\":\"checksum\"}"), std::string::npos) << out_;
}

TEST_F(PyrocmdTest, SerialDataThatIsNoNumberIsRefusedBeforeAnyChip) {
    const std::string image = Image();
    for (const char* bad : {"abc", "", "-5", "99999999999", "1000abc", "4294967297"}) {
        profile_.WriteString("Serial", "Data", bad);
        EXPECT_EQ(Run({"run", image, "--count", "1", "--no-wait", "--serial", "--json"}), 6) << bad;
        EXPECT_EQ(err_,
                  std::string("pyrocmd: [Serial] Data in Larkspur.ini is '") + bad +
                      "', not a number from 0 to 4294967295: no serial number is handed out\n");
        EXPECT_NE(out_.find("\"step\":\"serial_settings\""), std::string::npos) << out_;
        EXPECT_EQ(profile_.GetString("Serial", "Data", "?"), bad);  // left for the user to mend
    }
    EXPECT_EQ(port_.CountSent(CMD_PING), 0);
    // Without numbering the value is not needed.
    EXPECT_EQ(Run({"program", image, "--no-serial"}), 0);

    // The largest number is taken as written, also past the sign bit.
    profile_.WriteString("Serial", "Data", "2147483648");
    EXPECT_EQ(Run({"program", image, "--serial"}), 0);
    EXPECT_EQ(out_, "Download OK!\nS/N:80000000H  Program OK!\n");
    EXPECT_EQ(profile_.GetString("Serial", "Data", ""), "2147483649");

    // FFFFFFFFH is the last number: after it the range is used up, never wrapped to 0.
    profile_.WriteString("Serial", "Data", "4294967295");
    EXPECT_EQ(Run({"program", image, "--serial"}), 0);
    EXPECT_EQ(out_, "Download OK!\nS/N:FFFFFFFFH  Program OK!\n");
    EXPECT_EQ(Run({"program", image, "--serial"}), 5);
    EXPECT_NE(err_.find("FFFFFFFFH, the last one, has been handed out"), std::string::npos) << err_;
    EXPECT_EQ(profile_.GetString("Serial", "Data", ""), "4294967296");
}

TEST_F(PyrocmdTest, McuThatIsNotTheImagesBodyIsABadCommandLine) {
    const std::string image = Image();
    EXPECT_EQ(Run({"program", image, "--mcu", "ZK20P08B"}), 2);
    EXPECT_NE(err_.find("is for 'ZK30P11C-4'"), std::string::npos) << err_;
    EXPECT_EQ(Run({"run", image, "--count", "1", "--mcu", "ZK20P08B"}), 2);
    EXPECT_EQ(port_.CountSent(CMD_PING), 0);
    EXPECT_EQ(Run({"program", image, "--mcu", "ZK30P11C-4"}), 0);
}

}  // namespace
