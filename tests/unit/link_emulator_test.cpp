// The link engine against the emulator's writer model: whole command
// sequences as the program sends them.
#include <gtest/gtest.h>

#include <algorithm>

#include "emulator/writer_model.h"
#include "tests/unit/link_fake_host.h"

namespace {

struct Bench {
    FakeHost h;
    emu::WriterModel& model = h.port.model;
    Bench() { h.OpenPort(1); }
    // Driver block for a chip of the given PID and ROM size, as a download ends.
    WriterStatus SendDriver(uint8_t pid, uint32_t romWords) {
        uint8_t block[25] = {0x55,
                             0xAA,
                             pid,
                             0x11,
                             0x00,
                             uint8_t(romWords),
                             uint8_t(romWords >> 8),
                             uint8_t(romWords >> 16)};
        for (int i = 0; i < 24; ++i) block[24] = uint8_t(block[24] + block[i]);
        return h.link.SendAndPoll(MakeWriteFlashFrame(kDriverAreaAddr, block, 25), CMD_WRITE_FLASH,
                                  0, 0);
    }
    WriterStatus WriteImage(const std::vector<uint8_t>& image) {
        for (size_t a = 0; a < image.size(); a += kMaxFlashChunk) {
            const size_t n = std::min(kMaxFlashChunk, image.size() - a);
            const WriterStatus s = h.link.SendAndPoll(
                MakeWriteFlashFrame(static_cast<uint32_t>(a), image.data() + a, n), CMD_WRITE_FLASH,
                0, 0);
            if (s) return s;
        }
        return WS_OK;
    }
};

}  // namespace

TEST(LinkEmulator, DownloadThenProgramVerifyAndBlankCheck) {
    Bench b;
    b.model.chip.pid = 0x30;
    std::vector<uint8_t> image(600);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ERASE_FLASH), 0);
    EXPECT_GE(b.h.CountSent(CMD_POLL), 3);  // erase reports busy before it ends
    ASSERT_EQ(b.WriteImage(image), 0);
    ASSERT_EQ(b.SendDriver(0x30, 300), 0);
    ASSERT_EQ(b.h.link.RunOperation(OP_DRIVER, 0), 0);

    uint8_t data[32] = {};
    b.h.link.Send(MakeReadFlashFrame(kDriverAreaAddr, 0x20));
    ASSERT_EQ(b.h.link.WaitReply(CMD_READ_FLASH, data, sizeof data), 0);
    EXPECT_EQ(data[0], 0x55);
    EXPECT_EQ(data[1], 0xAA);
    EXPECT_EQ(data[2], 0x30);

    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    b.h.messages.clear();
    EXPECT_EQ(b.h.link.RunOperation(OP_ID_CHECK | OP_BLANK | OP_PROGRAM | OP_VERIFY, 300), 0);
    // Every poll sets the step text again; the steps come in order.
    b.h.messages.erase(std::unique(b.h.messages.begin(), b.h.messages.end()), b.h.messages.end());
    EXPECT_EQ(b.h.messages,
              (std::vector<std::string>{"Blank checking...", "Programming...", "Verifying..."}));
    EXPECT_EQ(b.h.progress.back(), 300);
    EXPECT_EQ(b.h.link.ReadWord(1), image[2] | image[3] << 8);
    EXPECT_EQ(b.h.link.RunOperation(OP_BLANK, 0), 0xB1);
    EXPECT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
}

TEST(LinkEmulator, WriterRefusalsAndChipErrors) {
    Bench b;
    ASSERT_EQ(b.SendDriver(0x44, 16), 0);
    // Chip steps need programming mode: refused on every attempt.
    EXPECT_EQ(b.h.link.RunOperation(OP_BLANK, 0), 0x91);
    EXPECT_EQ(b.h.CountSent(CMD_OPERATION), 3);

    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_EQ(b.h.link.RunOperation(OP_ID_CHECK, 0), 0xB0);  // chip PID differs
    EXPECT_EQ(b.h.link.RunOperation(OP_LOCK, 0), 0);
    EXPECT_EQ(b.h.link.RunOperation(OP_PROGRAM, 0), 0xB7);
    EXPECT_EQ(b.h.link.WriteWord(3, 0x12), 0xB7);

    // Writing flash that was not erased fails, retried three times.
    b.h.sent.clear();
    EXPECT_EQ(b.SendDriver(0x45, 16), 0xB8);
    EXPECT_EQ(b.h.CountSent(CMD_WRITE_FLASH), 3);
    EXPECT_EQ(b.h.link.SendAndPoll(MakeEraseDriverFrame(), CMD_ERASE_DRIVER, 50, 0), 0);
    EXPECT_EQ(b.SendDriver(0x45, 16), 0);
}

TEST(LinkEmulator, SerialWordsAndChipInformation) {
    Bench b;
    b.model.chip.powerOnId = 0x5A;
    b.model.chip.romWords = 0x12345;
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_EQ(b.h.link.ReadWord(7), 0);
    EXPECT_EQ(b.h.link.WriteWord(7, 0x0012), 0);
    EXPECT_EQ(b.h.link.ReadWord(7), 0x0012);

    uint8_t words[64] = {};
    b.h.link.Send(MakeReadBlockFrame(0x8000, 0x20));
    ASSERT_EQ(b.h.link.WaitReply(CMD_READ_BLOCK, words, sizeof words), 0);
    EXPECT_EQ(words[32], 0x5A);
    const uint32_t rom =
        ((words[38] | words[39] << 8) & 0x3FFF) << 14 | ((words[36] | words[37] << 8) & 0x3FFF);
    EXPECT_EQ(rom, 0x12345u);

    uint8_t id = 0;
    b.h.link.Send(MakeSimpleFrame(CMD_IDENTIFY, 0));
    EXPECT_EQ(b.h.link.WaitReply(CMD_IDENTIFY, &id, 1), 0);
    EXPECT_EQ(id, b.model.chip.pid);
    b.model.selftestFaults = 0x05;
    EXPECT_EQ(b.h.link.Query(CMD_SELFTEST), 0x0590);
}

TEST(LinkEmulator, AHandlerSwapsTheChipOnlyWhenProgrammingModeIsLeft) {
    Bench b;
    b.model.chip.pid = 0x66;
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    ASSERT_EQ(b.h.link.WriteWord(7, 0x0012), 0);
    b.model.chip.locked = true;
    ASSERT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    EXPECT_TRUE(b.model.chip.locked);  // no handler: the same chip stays
    EXPECT_EQ(b.model.chip.Word(7), 0x12);

    b.model.swapChips = true;
    b.model.chip.locked = false;
    // Leaving a mode not entered brings no chip.
    ASSERT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    EXPECT_EQ(b.model.chip.Word(7), 0x12);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_EQ(b.h.link.ReadWord(7), 0x12);
    b.model.chip.locked = true;
    ASSERT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    // A new blank chip of the same kind.
    EXPECT_FALSE(b.model.chip.locked);
    EXPECT_EQ(b.model.chip.Word(7), 0);
    EXPECT_EQ(b.model.chip.pid, 0x66);

    // A handler for runs: single commands by hand keep their chip, an Auto pass does not.
    ASSERT_TRUE(b.h.port.line.Control("swap auto"));
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    ASSERT_EQ(b.h.link.WriteWord(7, 0x0012), 0);
    b.h.link.SendAndPoll(MakeSimpleFrame(CMD_OPERATION, 0x08), CMD_OPERATION, 0, 0);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    EXPECT_EQ(b.model.chip.Word(7), 0x12);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    b.h.link.SendAndPoll(MakeSimpleFrame(CMD_OPERATION, 0x0E), CMD_OPERATION, 0, 0);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    EXPECT_EQ(b.model.chip.Word(7), 0);
}

TEST(LinkEmulator, ClearDropsEveryQueuedFault) {
    Bench b;
    for (const char* line : {"fault noreply", "final B1", "stuck", "busy 5000"})
        ASSERT_TRUE(b.h.port.line.Control(line));
    ASSERT_TRUE(b.h.port.line.Control("clear"));
    EXPECT_EQ(b.h.link.Query(CMD_PING), 0x90);
    const auto start = b.h.now;
    EXPECT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_LT(b.h.now - start, 1000u);
}

TEST(LinkEmulator, NewCommandWhileBusyIsRefusedAndPollShowsTheStep) {
    Bench b;
    b.model.SetExtraBusy(5000);
    b.h.link.Send(MakeSimpleFrame(CMD_ERASE_FLASH, 0));
    EXPECT_EQ(b.h.link.WaitReply(CMD_ERASE_FLASH, nullptr, 0), 0x90);
    EXPECT_EQ(b.h.link.Query(CMD_PING), 0x90);
    b.h.link.Send(MakeSimpleFrame(CMD_ENTER_PROG, 0));
    EXPECT_EQ(b.h.link.WaitReply(CMD_ENTER_PROG, nullptr, 0), 0x91);
    EXPECT_EQ(b.h.link.Query(CMD_POLL) & 0xFF, 0xA0);
    b.h.now += 6000;
    EXPECT_EQ(b.h.link.Query(CMD_POLL) & 0xFF, 0x00);
}

TEST(LinkEmulator, AHungOperationIsGivenUpAndTheWriterTakesTheNextCommands) {
    Bench b;
    ASSERT_EQ(b.SendDriver(0x30, 0x2000), 0);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    b.model.SetStuck(CMD_OPERATION);
    const uint64_t start = b.h.now;
    EXPECT_EQ(b.h.link.RunOperation(OP_PROGRAM, 0x2000), 0xA2);
    EXPECT_GE(b.h.now - start, WriterLink::kBusyStallMs);
    // Leaving programming mode still works, and so does the next operation.
    EXPECT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
    ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_EQ(b.h.link.RunOperation(OP_PROGRAM, 0x2000), 0);

    // A phase far longer than the limit whose progress keeps moving is waited out.
    b.model.SetExtraBusy(45000, CMD_OPERATION);
    EXPECT_EQ(b.h.link.RunOperation(OP_VERIFY, 0x2000), 0);
    EXPECT_EQ(b.h.progress.back(), 0x2000);
    EXPECT_EQ(b.h.link.PollingCommand(CMD_EXIT_PROG), 0);
}

// A one-time-programmable chip programmed once must not meet its blank check
// again: an operation whose acknowledge the line lost is polled, not resent,
// while one that never reached the writer is sent again.
TEST(LinkEmulator, AnOperationTakenWithItsAcknowledgeLostRunsOnce) {
    struct Case {
        const char* fault;  // on the line after the writer took the frame
        bool frameLost;     // the frame itself never reached the writer
        int sends;
    };
    for (const Case& c :
         {Case{"fault noreply cmd=59", false, 1}, Case{"fault badsum cmd=59", false, 1},
          Case{"fault garbage cmd=59 bytes=07 13", false, 1},
          Case{"fault noreply cmd=5E skip=1", false, 1}, Case{"", true, 2}}) {
        SCOPED_TRACE(c.fault);
        Bench b;
        ASSERT_EQ(b.WriteImage(std::vector<uint8_t>(64, 0x5A)), 0);
        ASSERT_EQ(b.SendDriver(b.model.chip.pid, 32), 0);
        ASSERT_EQ(b.h.link.PollingCommand(CMD_ENTER_PROG), 0);
        if (*c.fault) ASSERT_TRUE(b.h.port.line.Control(c.fault));
        bool lose = c.frameLost;
        b.h.device = [&](const Bytes& f, int) {
            if (f[1] == CMD_OPERATION && lose) {
                lose = false;
                return Bytes{};
            }
            return b.h.port.line.Receive(f.data(), f.size(), b.h.port.now);
        };
        EXPECT_EQ(b.h.link.RunOperation(OP_BLANK | OP_PROGRAM | OP_VERIFY, 0), 0);
        EXPECT_EQ(b.h.CountSent(CMD_OPERATION), c.sends);
        EXPECT_EQ(b.model.chip.Word(0), 0x5A5A);
    }
}
