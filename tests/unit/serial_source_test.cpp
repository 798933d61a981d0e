#include <gtest/gtest.h>

#include <vector>

#include "core/serial_settings_source.h"
#include "ops_fakes.h"

using namespace ops_test;

namespace {
// A source that hands out what it is told, and keeps each fate it is given.
struct ScriptedSource : SerialSource {
    SerialReservation next;
    std::vector<std::string> fates;
    uint32_t Peek() override { return next.dwSerial; }
    SerialReservation Reserve() override { return next; }
    void MarkWritten(uint32_t s) override { fates.push_back("written " + std::to_string(s)); }
    void MarkBurned(uint32_t s) override { fates.push_back("burned " + std::to_string(s)); }
    void MarkUnused(uint32_t s) override { fates.push_back("unused " + std::to_string(s)); }
};

// Keeps the records it is given, as a ledger's queue would.
struct KeptRecords : RecordSink {
    std::vector<LogRecord> records;
    std::string Record(const LogRecord& r) override {
        records.push_back(r);
        return std::string();
    }
};

struct SourceFixture : OpsFixture {
    explicit SourceFixture(const std::string& name) : OpsFixture(name) {
        WriterHoldsBlankImage();
        OpenZeroImage(64);
        session.SetSerialOn(true);
    }
};
}  // namespace

TEST(SerialSource, TheSessionTakesItsNumbersFromTheSourceAndMarksTheirFate) {
    SourceFixture fx("source_session");
    ScriptedSource source;
    source.next.dwSerial = 0x0A0B0C0D;
    fx.session.UseSerialSource(source);
    KeptRecords sink;
    fx.session.UseRecordSink(&sink);
    EXPECT_TRUE(fx.session.Program().Passed());
    // The sink hears of the chip with no [Log] File set.
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].strOperation, "Program");
    EXPECT_EQ(sink.records[0].serial, SerialFate::kWritten);
    EXPECT_EQ(sink.records[0].dwSerial, 0x0A0B0C0Du);
    EXPECT_EQ(fx.writer.model.chip.Word(1), 0x0D);
    EXPECT_EQ(fx.writer.model.chip.Word(7), 0x0A);
    EXPECT_EQ(source.fates, (std::vector<std::string>{"written 168496141"}));
    // A source that cannot be reached gets no chip programmed, and says why in a box.
    source.next.take = SerialTake::kOffline;
    source.next.strText = "The ledger on db1 cannot be reached.";
    fx.writer.model.chip.words.clear();
    const CommandResult r = fx.session.Program();
    EXPECT_EQ(r.outcome, Outcome::kLedgerOffline);
    EXPECT_FALSE(r.bChipTouched);
    EXPECT_EQ(fx.writer.model.chip.Word(1), 0);
    ASSERT_FALSE(fx.host.boxes.empty());
    EXPECT_EQ(fx.host.boxes.back(), "The ledger on db1 cannot be reached.");
    EXPECT_EQ(source.fates.size(), 1u);
}

TEST(SerialSource, DataThatIsNoNumberHandsOutNothingAndIsNamed) {
    SourceFixture fx("source_bad");
    fx.profile.WriteString("Serial", "Data", "12x");
    SettingsSerialSource source(fx.profile);
    const SerialReservation r = source.Reserve();
    EXPECT_EQ(r.take, SerialTake::kBadValue);
    EXPECT_EQ(r.strText,
              "[Serial] Data in Larkspur.ini is '12x', not a number from 0 to 4294967295: no "
              "serial number is handed out");
    EXPECT_EQ(fx.profile.GetString("Serial", "Data", ""), "12x");  // the user's to mend
    // The session's own source: the box when numbering is switched on, no chip when started.
    EXPECT_FALSE(fx.session.CheckSerialData());
    EXPECT_EQ(fx.host.boxes.back(), r.strText);
    EXPECT_FALSE(fx.session.Program().bChipTouched);
    EXPECT_EQ(fx.writer.Count(0x59), 0);
}

TEST(SerialSource, NumbersMoveOnAndEndAtTheLast) {
    SourceFixture fx("source_last");
    SettingsSerialSource source(fx.profile);
    fx.profile.WriteString("Serial", "Data", "4294967294");
    SerialReservation r = source.Reserve();
    ASSERT_EQ(r.take, SerialTake::kTaken);
    EXPECT_EQ(source.Reserve().dwSerial, r.dwSerial);  // held until its fate is known
    source.MarkUnused(r.dwSerial);
    // An unused number is not handed out again: the file moved past it.
    r = source.Reserve();
    EXPECT_EQ(r.dwSerial, 0xFFFFFFFFu);
    EXPECT_EQ(fx.profile.GetString("Serial", "Data", ""), "4294967296");
    source.MarkWritten(r.dwSerial);
    EXPECT_EQ(source.Reserve().take, SerialTake::kUsedUp);
    // A fresh program sees the range used up too; it never wraps to 0.
    SettingsSerialSource other(fx.profile);
    EXPECT_EQ(other.Reserve().take, SerialTake::kUsedUp);
    fx.session.ReadSettings();
    fx.session.WriteSettings();
    EXPECT_EQ(fx.profile.GetString("Serial", "Data", ""), "4294967296");

    fx.profile.WriteString("Serial", "Data", "9");
    fx.profile.WriteString("Serial", "End", "9");
    SettingsSerialSource ranged(fx.profile);
    EXPECT_EQ(ranged.Reserve().dwSerial, 9u);
    ranged.MarkBurned(9);
    r = ranged.Reserve();
    EXPECT_EQ(r.take, SerialTake::kUsedUp);
    EXPECT_NE(r.strText.find("past [Serial] End (00000009H)"), std::string::npos) << r.strText;
}
