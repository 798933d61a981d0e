#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/unit/link_fake_host.h"

namespace {

// A writer that acknowledges, then answers polls from a list of statuses.
struct PollScript {
    std::vector<Bytes> polls;
    size_t next = 0;
    Bytes operator()(const Bytes& f, int) {
        if (f[1] == CMD_POLL) return next < polls.size() ? polls[next++] : PollReply(0);
        return Ack();
    }
};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST(LinkWait, TimesOutAfterTheDeadlineWithoutSpinning) {
    FakeHost h;
    h.OpenPort(1);
    h.writerPort = 0;
    const uint32_t start = h.now;
    EXPECT_EQ(h.link.Query(CMD_PING), 0xC0);
    EXPECT_GT(h.now - start, 1000u);
    EXPECT_LE(h.now - start, 1002u);
    EXPECT_LE(h.port.reads, 2);  // blocked for the deadline, not a loop of tiny waits
}

TEST(LinkWait, TwoRepliesBackToBackDecodeFromTheFirst) {
    // Taken at once or byte by byte, as a paced line delivers them.
    for (size_t chunk : {0, 1}) {
        FakeHost h;
        h.port.chunk = chunk;
        h.OpenPort(1);
        h.device = [](const Bytes&, int) {
            Bytes b = WithSum({0x05, 0xA0, 0x01, 0x02});
            Bytes second = WithSum({0x05, 0xA0, 0x07, 0x08});
            b.insert(b.end(), second.begin(), second.end());
            return b;
        };
        EXPECT_EQ(h.link.Query(CMD_VERSION), 0x0201);
        EXPECT_EQ(h.link.ReceivedCount(), 0u);
        // The second reply is dropped by the next command.
        h.device = [](const Bytes&, int) { return WithSum({0x05, 0xA0, 0x03, 0x04}); };
        EXPECT_EQ(h.link.Query(CMD_VERSION), 0x0403);
    }
}

TEST(LinkWait, ReplySplitAcrossReadsIsJoined) {
    FakeHost h;
    h.port.chunk = 1;
    h.OpenPort(1);
    uint8_t data[32] = {};
    h.link.Send(MakeReadFlashFrame(kDriverAreaAddr, 0x20));
    EXPECT_EQ(h.link.WaitReply(CMD_READ_FLASH, data, sizeof data), 0);
    EXPECT_EQ(data[0], 0xFF);    // erased flash
    EXPECT_EQ(h.port.reads, 0);  // every read found a byte: no wait in between

    // One byte is waited for until the length is known, then exactly the rest:
    // a read never waits past the end of the reply.
    const size_t length = 3 + 0x20;  // length, code, 0x20 bytes, sum
    std::vector<size_t> expected{1};
    for (size_t got = 1; got < length; ++got) expected.push_back(length - got);
    EXPECT_EQ(h.port.wants, expected);
}

TEST(LinkWait, ReceiveBufferOverflowDropsAndWarnsPerByte) {
    FakeHost h;
    for (int i = 0; i < 256; ++i) h.link.OnSerialByte(0xFF);
    EXPECT_TRUE(h.boxes.empty());
    h.link.OnSerialByte(1);
    h.link.OnSerialByte(2);
    EXPECT_EQ(h.link.ReceivedCount(), 256u);
    EXPECT_EQ(h.boxes,
              (std::vector<std::string>{"Receive Buffer overflow!", "Receive Buffer overflow!"}));
}

TEST(LinkWait, ReadWordReturnsWordOrZero) {
    FakeHost h;
    h.OpenPort(1);
    uint16_t value = 0x1234;
    h.device = [&](const Bytes& f, int) {
        EXPECT_EQ(f, WithSum({0x06, 0x52, 0x07, 0x00, 0x00}));
        return WithSum({0x05, 0x82, uint8_t(value), uint8_t(value >> 8)});
    };
    EXPECT_EQ(h.link.ReadWord(7), 0x1234);
    value = 0;
    EXPECT_EQ(h.link.ReadWord(7), 0);
    h.device = [](const Bytes&, int) { return Refuse(); };
    EXPECT_EQ(h.link.ReadWord(7), 0);
}

TEST(LinkPoll, TheRestOfABrokenReplyDoesNotOpenTheNextOne) {
    // A reply whose sum is wrong, and more bytes of it still on the line: the
    // command is sent again only once they are through, so one resend serves.
    for (bool tailOnTheLine : {false, true}) {
        FakeHost h;
        h.OpenPort(1);
        int frames = 0;
        h.device = [&](const Bytes& f, int) {
            if (f[1] == CMD_POLL) return PollReply(0);
            if (++frames > 1) return Ack();
            if (tailOnTheLine) h.port.inFlight = {0x05, 0xA0, 0x01, 0x02, 0xA8};
            return Bytes{0x03, 0x90, 0x00};
        };
        const uint32_t start = h.now;
        EXPECT_EQ(h.link.WriteWord(8, 0x34), WS_OK);
        EXPECT_EQ(h.CountSent(CMD_WRITE_WORD), 2) << tailOnTheLine;
        // The line is given its quiet time before the resend.
        EXPECT_GE(h.now - start, WriterLink::kQuietMs);
        EXPECT_TRUE(h.port.inFlight.empty());
    }
}

TEST(LinkPoll, WrongChecksumIsSentAgainThreeSendsAtMost) {
    FakeHost h;
    h.OpenPort(1);
    h.device = [](const Bytes&, int) {
        Bytes b = Ack();
        b.back() ^= 0x40;
        return b;
    };
    EXPECT_EQ(h.link.WriteWord(1, 0x78), 0xC1);
    EXPECT_EQ(h.sent.size(), 3u);
    EXPECT_EQ(h.CountSent(CMD_WRITE_WORD), 3);
    EXPECT_EQ(h.CountSent(CMD_POLL), 0);
}

TEST(LinkPoll, RefusalAndTimeoutRetryThenSucceed) {
    FakeHost h;
    h.OpenPort(1);
    int calls = 0;
    h.device = [&](const Bytes& f, int) -> Bytes {
        if (f[1] == CMD_POLL) return PollReply(0);
        ++calls;
        if (calls == 1) return Refuse();
        if (calls == 2) return {};
        return Ack();
    };
    EXPECT_EQ(h.link.PollingCommand(CMD_ENTER_PROG), 0);
    EXPECT_EQ(h.CountSent(CMD_ENTER_PROG), 3);
}

TEST(LinkPoll, BusyA4KeepsPollingWithoutTouchingTheMessageLine) {
    FakeHost h;
    h.OpenPort(1);
    PollScript s{{PollReply(0xA4), PollReply(0xA4), PollReply(0xA4), PollReply(0x00)}};
    h.device = std::ref(s);
    h.messages.clear();
    EXPECT_EQ(h.link.SendAndPoll(MakeOperationFrame(0x40), CMD_OPERATION, 150, 0), 0);
    EXPECT_EQ(h.CountSent(CMD_POLL), 4);
    EXPECT_TRUE(h.messages.empty());
}

TEST(LinkPoll, StepTextsProgressAndFinalPosition) {
    FakeHost h;
    h.OpenPort(1);
    PollScript s{{PollReply(0xA1, 1), PollReply(0xA2, 2), PollReply(0xA3, 3), PollReply(0xA5, 4),
                  PollReply(0x00, 5)}};
    h.device = std::ref(s);
    const uint32_t start = h.now;
    EXPECT_EQ(h.link.RunOperation(0x0E, 0x1000), 0);
    EXPECT_EQ(h.messages, (std::vector<std::string>{"Blank checking...", "Programming...",
                                                    "Verifying...", "Reading to writer..."}));
    EXPECT_EQ(h.progressMax, 0x1000);
    EXPECT_EQ(h.progress, (std::vector<int>{0, 256, 512, 768, 1024, 1280, 0x1000}));
    EXPECT_GE(h.now - start, 5 * 150u);  // polled at its interval
}

TEST(LinkPoll, FinalErrorIsShownAndRetryableFinalsResend) {
    FakeHost h;
    h.OpenPort(1);
    PollScript s{{PollReply(0xA2), PollReply(0xB2)}};
    h.device = std::ref(s);
    EXPECT_EQ(h.link.RunOperation(OP_PROGRAM, 0), 0xB2);
    EXPECT_EQ(h.CountSent(CMD_OPERATION), 1);

    FakeHost f;
    f.OpenPort(1);
    PollScript flash{{PollReply(0xB8), PollReply(0xB8), PollReply(0xB8)}};
    f.device = std::ref(flash);
    uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(f.link.SendAndPoll(MakeWriteFlashFrame(0, data, 3), CMD_WRITE_FLASH, 0, 0), 0xB8);
    EXPECT_EQ(f.CountSent(CMD_WRITE_FLASH), 3);

    // A refusal seen in a poll ends the command at once.
    FakeHost r;
    r.OpenPort(1);
    PollScript refused{{Refuse()}};
    r.device = std::ref(refused);
    EXPECT_EQ(r.link.WriteWord(2, 0x56), 0x91);
    EXPECT_EQ(r.CountSent(CMD_WRITE_WORD), 1);
}

// A writer whose poll answers follow the time since the command was taken;
// each reply takes a few ms of line time, so even 0 ms poll intervals move
// the clock.
struct TimedWriter {
    FakeHost& h;
    std::function<Bytes(uint32_t elapsedMs)> poll;
    uint32_t start = 0;
    int commands = 0;
    Bytes operator()(const Bytes& f, int) {
        h.now += 3;
        if (f[1] == CMD_POLL) return poll(h.now - start);
        ++commands;
        start = h.now;
        return Ack();
    }
};

TEST(LinkBusyStall, ABusyPhaseThatNeverMovesEndsAfter30sAsWriterIsBusy) {
    for (uint32_t interval : {150u, 0u}) {
        SCOPED_TRACE(interval);
        FakeHost h;
        h.OpenPort(1);
        TimedWriter w{h, [](uint32_t) { return PollReply(0xA2, 7); }};
        h.device = std::ref(w);
        const uint32_t start = h.now;
        EXPECT_EQ(h.link.SendAndPoll(MakeOperationFrame(OP_PROGRAM), CMD_OPERATION, interval, 0),
                  0xA2);
        const uint32_t took = h.now - start;
        EXPECT_GE(took, WriterLink::kBusyStallMs);
        // Counted from the first poll's answer, checked at every poll.
        EXPECT_LE(took, WriterLink::kBusyStallMs + 2 * interval + 20);
        EXPECT_EQ(w.commands, 1);  // a hung writer is not asked again
    }
    // Shown through the status table, with the usual beep.
    FakeHost h;
    h.OpenPort(1);
    TimedWriter w{h, [](uint32_t) { return PollReply(0xA0, 0); }};
    h.device = std::ref(w);
    EXPECT_EQ(h.link.RunOperation(OP_BLANK, 0x400), 0xA0);
    EXPECT_NE(h.progress.back(), 0x400);  // no bar filled for a failure
    // The erase of a download goes through the same engine.
    w.poll = [](uint32_t) { return PollReply(0xA0, 0); };
    EXPECT_EQ(h.link.PollingCommand(CMD_ERASE_FLASH), 0xA0);
}

TEST(LinkBusyStall, AnyChangeOfStatusOrProgressRestartsThe30s) {
    {  // progress moving every 20 s for 100 s: not a stall
        FakeHost h;
        h.OpenPort(1);
        TimedWriter w{h, [](uint32_t t) {
                          return t < 100000 ? PollReply(0xA2, static_cast<uint8_t>(t / 20000))
                                            : PollReply(0x00, 5);
                      }};
        h.device = std::ref(w);
        EXPECT_EQ(h.link.RunOperation(OP_PROGRAM, 0x500), 0);
        EXPECT_EQ(h.progress.back(), 0x500);
    }
    {  // the status alone changing every 25 s (blank, program, verify) is progress too
        FakeHost h;
        h.OpenPort(1);
        TimedWriter w{h, [](uint32_t t) {
                          static const uint8_t steps[] = {0xA1, 0xA2, 0xA3};
                          return t < 75000 ? PollReply(steps[t / 25000], 0) : PollReply(0x00, 0);
                      }};
        h.device = std::ref(w);
        EXPECT_EQ(h.link.RunOperation(0x0E, 0), 0);
    }
    {  // a busy phase of 25 s without any change still ends well
        FakeHost h;
        h.OpenPort(1);
        TimedWriter w{h, [](uint32_t t) { return t < 25000 ? PollReply(0xA0, 0) : PollReply(0); }};
        h.device = std::ref(w);
        EXPECT_EQ(h.link.PollingCommand(CMD_ERASE_FLASH), 0);
    }
    {  // the last move at 10 s: given up 30 s after it, not 30 s after the start
        FakeHost h;
        h.OpenPort(1);
        TimedWriter w{h, [](uint32_t t) { return PollReply(0xA3, t < 10000 ? 0 : 1); }};
        h.device = std::ref(w);
        const uint32_t start = h.now;
        EXPECT_EQ(h.link.SendAndPoll(MakeOperationFrame(OP_VERIFY), CMD_OPERATION, 150, 0), 0xA3);
        EXPECT_GE(h.now - start, 10000 + WriterLink::kBusyStallMs);
        EXPECT_LE(h.now - start, 10000 + WriterLink::kBusyStallMs + 400);
    }
}

TEST(LinkPoll, PollingCommandFramesAndStatuses) {
    FakeHost h;
    h.OpenPort(1);
    h.device = [](const Bytes& f, int) {
        EXPECT_EQ(f.size(), 4u);
        return Refuse();
    };
    for (const uint8_t code : {CMD_ENTER_PROG, CMD_EXIT_PROG, CMD_ERASE_FLASH}) {
        h.sent.clear();
        EXPECT_EQ(h.link.PollingCommand(code), 0x91);
        EXPECT_EQ(h.sent.front(), WithSum({0x04, code, 0x00}));
        // The link says nothing of it: what is shown is the session's to decide.
        EXPECT_TRUE(h.messages.empty());
    }
}

namespace {

// A writer on one port that answers ping and version.
Bytes Writer(const Bytes& f, int) {
    if (f[1] == CMD_PING) return Ack();
    if (f[1] == CMD_VERSION) return WithSum({0x05, 0xA0, 0x01, 0x02});
    return Refuse();
}

}  // namespace

TEST(LinkConnect, WriterOnCom2StopsTheSearch) {
    FakeHost h;
    h.writerPort = 2;
    h.device = Writer;
    EXPECT_TRUE(h.DetectConnect());
    EXPECT_EQ(h.opened, (std::vector<int>{1, 2}));
    EXPECT_EQ(h.Links(), (std::vector<std::string>{"Detecting COM1...", "Detecting COM2...",
                                                   "Connected(COM2)"}));
    EXPECT_EQ(h.messages,
              (std::vector<std::string>{"Connecting to Pyrograph...", "Connect with Pyrograph."}));
    EXPECT_EQ(h.Versions().back(), "Software(V1.2), Firmware(V0102)");
    EXPECT_EQ(h.link.PortIndex(), 1);
    EXPECT_EQ(h.driverChecks, 1);

    // Second time: ping and version only, no search and no driver check.
    h.sent.clear();
    h.shown.Forget();
    EXPECT_TRUE(h.DetectConnect());
    ASSERT_EQ(h.sent.size(), 2u);
    EXPECT_EQ(h.sent[0][1], CMD_PING);
    EXPECT_EQ(h.sent[1][1], CMD_VERSION);
    EXPECT_TRUE(h.Links().empty());
    EXPECT_EQ(h.driverChecks, 1);
}

TEST(LinkConnect, NoWriterTriesAllThreePorts) {
    FakeHost h;
    h.writerPort = 0;
    h.device = Writer;
    EXPECT_FALSE(h.DetectConnect());
    EXPECT_EQ(h.opened, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(h.Links().back(), "Disconnected");
    EXPECT_EQ(h.messages.back(), "Disconnected from the Pyrograph.");
    EXPECT_TRUE(Contains(h.Links(), "Detecting COM3..."));
    EXPECT_EQ(h.link.PortIndex(), -1);
    EXPECT_EQ(h.driverChecks, 0);
    EXPECT_FALSE(h.link.FirstConnect());  // cleared also after a failure
    EXPECT_TRUE(h.Versions().empty());
}

TEST(LinkConnect, FailedDriverCheckIsTheResult) {
    FakeHost h;
    h.writerPort = 1;
    h.device = Writer;
    h.driverOk = false;
    EXPECT_FALSE(h.DetectConnect());
    EXPECT_EQ(h.driverChecks, 1);
    EXPECT_EQ(h.link.PortIndex(), 0);
}

TEST(LinkConnect, UnpluggedWriterIsSearchedAgain) {
    FakeHost h;
    h.writerPort = 1;
    h.device = Writer;
    ASSERT_TRUE(h.link.EnsureConnected());
    h.writerPort = 3;  // moved to another port
    h.opened.clear();
    EXPECT_TRUE(h.link.EnsureConnected());
    EXPECT_EQ(h.opened, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(h.link.PortIndex(), 2);
    EXPECT_EQ(h.Links().back(), "Connected(COM3)");
}

TEST(LinkConnect, VersionTextWhenTheVersionFails) {
    for (int mode = 0; mode < 4; ++mode) {
        FakeHost h;
        h.device = [mode](const Bytes& f, int) -> Bytes {
            if (f[1] == CMD_PING) return Ack();
            if (mode == 0) return Refuse();
            if (mode == 1) return WithSum({0x05, 0xA7, 1, 2});
            if (mode == 2) return {};
            Bytes b = WithSum({0x05, 0xA0, 1, 2});
            b.back() ^= 1;
            return b;
        };
        EXPECT_TRUE(h.link.EnsureConnected());
        EXPECT_EQ(h.Versions().back(), "Software(V1.2)") << mode;
    }
}
