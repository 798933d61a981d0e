// The ledger's ODBC code against a real PostgreSQL server: a private cluster
// that tools/pg-cluster.sh starts (ctest's fixture does, or the first test).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "common/memory_profile.h"
#include "console/ledger_command.h"
#include "console/pyrocmd.h"
#include "core/ledger_source.h"
#include "ledger/odbc.h"
#include "ledger/station_ledger.h"
#include "ledger/utf16_text.h"

// The ODBC driver keeps a little memory for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\n";
}

namespace {
const std::string kScript = std::string(PYRO_SOURCE_DIR) + "/tools/pg-cluster.sh";
// Nothing listens there: the server of a station that is cut off.
const std::string kNowhere =
    "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=u;Pwd=s3cr3t";

// Runs the cluster script; its exit status, its output in `out`.
int Cluster(const std::string& args, std::string* out = nullptr) {
    FILE* p = popen((kScript + " " + args + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[512];
    std::string text;
    while (fgets(buf, sizeof buf, p)) text += buf;
    const int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ConnectionOf(const std::string& envText) {
    const std::string key = "PYRO_LEDGER_CONNECTION='";
    const size_t at = envText.find(key);
    if (at == std::string::npos) return "";
    const size_t from = at + key.size();
    return envText.substr(from, envText.find('\'', from) - from);
}

struct Chip {
    int64_t serial;
    std::string recordId;
};

class LedgerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string text;
        s_nStart = Cluster("start", &text);
        if (s_nStart != 0) return;
        Cluster("env", &text);
        s_strConnection = ConnectionOf(text);
        LedgerServer server(s_strConnection);
        // Test processes may meet in a first `create table`: a second try sees it.
        if (server.Init() != LedgerAnswer::kOk) server.Init();
    }

    void SetUp() override {
        if (s_nStart == 3)
            GTEST_SKIP() << "*** PostgreSQL is not installed: the ledger is untested";
        ASSERT_EQ(s_nStart, 0) << "the private cluster did not start";
        ASSERT_FALSE(s_strConnection.empty());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strName = std::string(info->name()) + "-" + std::to_string(getpid());
        m_strDir = ::testing::TempDir() + "ledger-" + m_strName;
        mkdir(m_strDir.c_str(), 0755);
    }

    void TearDown() override {
        if (m_strDir.empty()) return;
        struct stat st;
        if (stat((m_strDir + "/pg").c_str(), &st) == 0)
            std::system(("PYRO_PG_DIR='" + m_strDir + "/pg' " + kScript + " stop").c_str());
        std::system(("rm -rf '" + m_strDir + "'").c_str());
    }

    // The settings path of one station: each gets a folder of its own.
    std::string SettingsOf(const std::string& station) {
        const std::string dir = m_strDir + "/" + station;
        mkdir(dir.c_str(), 0755);
        return dir + "/Larkspur.ini";
    }

    LedgerConfig Config(const std::string& station, int block,
                        const std::string& connection = s_strConnection) {
        LedgerConfig c;
        c.strConnection = connection;
        c.strStation = station + "-" + m_strName;
        c.strSequence = "seq-" + m_strName;
        c.nBlock = block;
        return c;
    }

    void DefineSequence(int64_t first, int64_t last,
                        const std::string& connection = s_strConnection) {
        LedgerServer server(connection);
        ASSERT_EQ(server.DefineSequence("seq-" + m_strName, first, last), LedgerAnswer::kOk)
            << server.Error();
    }

    // Takes a number and queues its chip's record as written.
    static Chip Program(StationLedger& ledger, const std::string& image = "img.bin") {
        int64_t serial = -1;
        std::string why;
        EXPECT_EQ(ledger.TakeNumber(serial, why), NumberTake::kTaken) << why;
        LogRecord r;
        r.time = LocalTimeNow();
        r.strFrontEnd = "pyrocmd";
        r.nPort = 4;
        r.strImagePath = image;
        r.strChecksum = "1A2B";
        r.strOperation = "Auto";
        r.serial = SerialFate::kWritten;
        r.dwSerial = static_cast<uint32_t>(serial);
        r.bPass = true;
        const std::string id = ledger.NewRecordId();
        EXPECT_TRUE(LedgerRecordSink(ledger).Queue(r, ledger.Config().strStation, "", id));
        ledger.Settle(serial);
        return {serial, id};
    }

    // The server's rows of this test's sequence: serial, state, record_id.
    std::vector<SqlRow> Rows(const std::string& connection = s_strConnection) {
        OdbcConnection db;
        EXPECT_TRUE(db.Connect(connection, 5)) << db.Error();
        std::vector<SqlRow> rows;
        EXPECT_TRUE(
            db.Execute("select serial, serial_state, record_id, station, image_path from "
                       "chip_record where sequence = ? order by serial",
                       {SqlParam::Text("seq-" + m_strName)}, &rows))
            << db.Error();
        return rows;
    }

    int RunCommand(const std::vector<std::string>& args, const std::string& settings,
                   const std::string& connection, std::string& out, std::string& err) {
        MemoryProfile profile;
        profile.WriteString("Ledger", "Connection", connection);
        profile.WriteString("Ledger", "Station", "st-" + m_strName);
        profile.WriteString("Ledger", "Sequence", "seq-" + m_strName);
        ConsoleIo io;
        io.out = [&](const std::string& t) { out += t; };
        io.err = [&](const std::string& t) { err += t; };
        return RunLedgerCommand(args, profile, settings, io);
    }

    static int s_nStart;
    static std::string s_strConnection;
    std::string m_strName, m_strDir;
};
int LedgerTest::s_nStart = -1;
std::string LedgerTest::s_strConnection;

TEST_F(LedgerTest, TwoStationsOfTwoWritersShareOneSequenceInBlocksOfThree) {
    DefineSequence(100, 159);
    std::mutex mutex;
    std::vector<int64_t> taken;
    const std::string stations[] = {"A", "B"};
    std::vector<std::thread> writers;
    for (const std::string& station : stations) {
        for (int w = 0; w < 2; ++w) {
            // A writer of its own ledger: as another program of the station would.
            writers.emplace_back([&, station] {
                StationLedger ledger(Config(station, 3), SettingsOf(station));
                for (;;) {
                    int64_t serial = -1;
                    std::string why;
                    const NumberTake t = ledger.TakeNumber(serial, why);
                    if (t == NumberTake::kUsedUp) break;
                    ASSERT_EQ(t, NumberTake::kTaken) << why;
                    LogRecord r;
                    r.strFrontEnd = "pyrocmd";
                    r.serial = SerialFate::kWritten;
                    r.dwSerial = static_cast<uint32_t>(serial);
                    r.strOperation = "Auto";
                    ASSERT_TRUE(LedgerRecordSink(ledger).Queue(r, ledger.Config().strStation, ""));
                    ledger.Settle(serial);
                    std::lock_guard<std::mutex> g(mutex);
                    taken.push_back(serial);
                }
                std::string why;
                EXPECT_TRUE(ledger.Upload(why)) << why;
            });
        }
    }
    for (auto& t : writers) t.join();
    const std::set<int64_t> distinct(taken.begin(), taken.end());
    EXPECT_EQ(taken.size(), 60u);
    EXPECT_EQ(distinct.size(), 60u);
    EXPECT_EQ(*distinct.begin(), 100);
    EXPECT_EQ(*distinct.rbegin(), 159);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 60u);
    std::set<std::string> serials;
    for (const SqlRow& r : rows) serials.insert(*r[0]);
    EXPECT_EQ(serials.size(), 60u);
    for (const std::string& station : stations)
        EXPECT_EQ(StationLedger(Config(station, 3), SettingsOf(station)).Waiting(), 0);
}

TEST_F(LedgerTest, ServerDownAtTheStart) {
    DefineSequence(1, 1000);
    const std::string settings = SettingsOf("A");
    {
        StationLedger online(Config("A", 5), settings);
        Program(online);  // reserves 1..5
    }
    // With numbers left the station programs, and its records wait.
    StationLedger cut(Config("A", 5, kNowhere), settings);
    for (int64_t want = 2; want <= 5; ++want) EXPECT_EQ(Program(cut).serial, want);
    std::string why;
    EXPECT_FALSE(cut.Upload(why));
    EXPECT_EQ(cut.Waiting(), 5);
    EXPECT_EQ(why.find("s3cr3t"), std::string::npos) << why;
    int64_t serial = 0;
    EXPECT_EQ(cut.TakeNumber(serial, why), NumberTake::kOffline);
    EXPECT_NE(why.find("Port=1"), std::string::npos) << why;
    EXPECT_EQ(why.find("s3cr3t"), std::string::npos) << why;

    // A station without numbers stops, and so does the source the session asks.
    StationLedger fresh(Config("B", 5, kNowhere), SettingsOf("B"));
    EXPECT_EQ(LedgerSerialSource(fresh).Reserve().take, SerialTake::kOffline);

    std::string out, err;
    EXPECT_EQ(RunCommand({"ledger", "upload"}, settings, kNowhere, out, err), kExitLedgerOffline);
    EXPECT_NE(out.find("5 record(s) still wait"), std::string::npos) << out;
    EXPECT_EQ(RunCommand({"ledger", "status", "--json"}, settings, kNowhere, out, err),
              kExitLedgerOffline);
    EXPECT_NE(out.find("\"reachable\":false"), std::string::npos) << out;
    EXPECT_EQ((out + err).find("s3cr3t"), std::string::npos) << out << err;

    // Back online, the same queue goes up once.
    out.clear();
    EXPECT_EQ(RunCommand({"ledger", "upload"}, settings, s_strConnection, out, err), kExitOk)
        << err;
    EXPECT_EQ(Rows().size(), 5u);
}

TEST_F(LedgerTest, ServerStoppedMidRunAndStartedAgain) {
    // A cluster of this test alone: stopping the shared one would cut off the others.
    const std::string env = "PYRO_PG_DIR='" + m_strDir + "/pg' ";
    std::string text;
    ASSERT_EQ(std::system((env + kScript + " start >/dev/null").c_str()), 0);
    FILE* p = popen((env + kScript + " env").c_str(), "r");
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) text += buf;
    if (p) pclose(p);
    const std::string own = ConnectionOf(text);
    ASSERT_EQ(LedgerServer(own).Init(), LedgerAnswer::kOk);
    DefineSequence(1, 100, own);

    std::mutex mutex;
    std::vector<std::string> notices;
    StationLedger ledger(Config("A", 20, own), SettingsOf("A"));
    ledger.StartUploader([&](const std::string& n) {
        std::lock_guard<std::mutex> g(mutex);
        notices.push_back(n);
    });
    std::set<std::string> ids;
    for (int i = 0; i < 5; ++i) ids.insert(Program(ledger).recordId);
    ASSERT_EQ(std::system((env + kScript + " stop").c_str()), 0);
    for (int i = 0; i < 15; ++i) ids.insert(Program(ledger).recordId);  // the rest of the block
    // The link the block came by is gone: the next block is offline, not refused.
    int64_t serial = 0;
    std::string why;
    EXPECT_EQ(ledger.TakeNumber(serial, why), NumberTake::kOffline) << why;
    ASSERT_EQ(std::system((env + kScript + " start").c_str()), 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ledger.Waiting() > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ledger.StopUploader();
    EXPECT_EQ(ledger.Waiting(), 0);
    const auto rows = Rows(own);
    std::set<std::string> uploaded;
    for (const SqlRow& r : rows) uploaded.insert(*r[2]);
    EXPECT_EQ(rows.size(), 20u);
    EXPECT_EQ(uploaded, ids);
    {
        std::lock_guard<std::mutex> g(mutex);
        ASSERT_FALSE(notices.empty()) << "the outage was never told";
        EXPECT_NE(notices.back().find("online again"), std::string::npos) << notices.back();
    }
    std::system((env + kScript + " stop").c_str());
}

TEST_F(LedgerTest, KillDuringAnUploadLosesAndDoublesNothing) {
    DefineSequence(1, 10000);
    const std::string settings = SettingsOf("A");
    const LedgerConfig config = Config("A", 3000);
    std::set<int64_t> serials;
    {
        StationLedger ledger(config, settings);
        for (int i = 0; i < 800; ++i) serials.insert(Program(ledger).serial);
    }
    int64_t held = -1;
    for (const int delayMs : {20, 80, 250}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            StationLedger ledger(config, settings);
            std::string why;
            int64_t serial;
            // A number taken and never settled: the child dies holding it.
            if (ledger.TakeNumber(serial, why) != NumberTake::kTaken) _exit(2);
            ledger.Upload(why);
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    StationLedger ledger(config, settings);
    const StationState before = ledger.State();
    EXPECT_GE(before.nHeld, 1);
    ledger.RecoverAbandoned();
    EXPECT_EQ(ledger.State().nHeld, 0);
    std::string why;
    ASSERT_TRUE(ledger.Upload(why)) << why;
    EXPECT_EQ(ledger.Waiting(), 0);
    const auto rows = Rows();
    std::set<std::string> ids;
    size_t burned = 0;
    for (const SqlRow& r : rows) {
        ids.insert(*r[2]);
        if (*r[1] == "burned") {
            ++burned;
            held = std::stoll(*r[0]);
            EXPECT_EQ(serials.count(held), 0u) << "a written number counted as burned";
        }
    }
    EXPECT_EQ(ids.size(), rows.size());
    EXPECT_EQ(rows.size(), 800u + burned);
    EXPECT_EQ(burned, static_cast<size_t>(before.nHeld));
    // A number taken by a program that died is never handed out again.
    EXPECT_GT(Program(ledger).serial, held);
}

TEST_F(LedgerTest, QuotesAndLettersBeyondAsciiSurviveTheRoundTrip) {
    DefineSequence(7, 9);
    const std::string station = "Linie 2 O'Brien \"Ü\" 工位";
    const std::string image = "C:\\Bilder\\Kunde's Übergröße\\fw'; drop table chip_record; --.bin";
    StationLedger ledger(Config(station, 3), SettingsOf("A"));
    Program(ledger, image);
    std::string why;
    ASSERT_TRUE(ledger.Upload(why)) << why;
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(*rows[0][3], ledger.Config().strStation);
    EXPECT_EQ(*rows[0][4], image);

    std::string out, err;
    EXPECT_EQ(RunCommand({"ledger", "find", "7", "--sequence", "seq-" + m_strName, "--json"},
                         SettingsOf("A"), s_strConnection, out, err),
              kExitOk)
        << err;
    EXPECT_NE(out.find("Kunde's Übergröße"), std::string::npos) << out;
    EXPECT_NE(out.find("O'Brien \\\"Ü\\\" 工位"), std::string::npos) << out;
}

TEST_F(LedgerTest, SequencesGrowAndABlockNeverOutlivesItsSequence) {
    const std::string settings = SettingsOf("A");
    std::string out, err;
    const std::string seq = "seq-" + m_strName;
    ASSERT_EQ(RunCommand({"ledger", "init"}, settings, s_strConnection, out, err), kExitOk) << err;
    ASSERT_EQ(RunCommand({"ledger", "sequence", seq, "--first", "1", "--last", "5"}, settings,
                         s_strConnection, out, err),
              kExitOk)
        << err;
    {
        StationLedger ledger(Config("A", 100), settings);
        for (int64_t want = 1; want <= 5; ++want) EXPECT_EQ(Program(ledger).serial, want);
        int64_t serial;
        std::string why;
        EXPECT_EQ(ledger.TakeNumber(serial, why), NumberTake::kUsedUp);
    }
    // Extended, and asked to start lower: the next number does not move back.
    out.clear();
    ASSERT_EQ(RunCommand({"ledger", "sequence", seq, "--first", "1", "--last", "8", "--json"},
                         settings, s_strConnection, out, err),
              kExitOk);
    EXPECT_NE(out.find("\"next\":6,\"last\":8"), std::string::npos) << out;
    EXPECT_EQ(RunCommand({"ledger", "sequence", seq, "--first", "9", "--last", "2"}, settings,
                         s_strConnection, out, err),
              kExitBadCommandLine);
    {
        StationLedger ledger(Config("A", 100), settings);
        EXPECT_EQ(Program(ledger).serial, 6);
    }
    // Another sequence: what was left of the block is recorded as unused.
    LedgerConfig other = Config("A", 100);
    other.strSequence += "-other";
    LedgerServer(s_strConnection).DefineSequence(other.strSequence, 1, 10);
    StationLedger moved(other, settings);
    int64_t serial;
    std::string why;
    ASSERT_EQ(moved.TakeNumber(serial, why), NumberTake::kTaken) << why;
    ASSERT_TRUE(moved.Upload(why)) << why;
    out.clear();
    EXPECT_EQ(RunCommand({"ledger", "find", "8"}, settings, s_strConnection, out, err), kExitOk);
    EXPECT_NE(out.find("unused"), std::string::npos) << out;
    out.clear();
    EXPECT_EQ(RunCommand({"ledger", "report", "--since", "2000-01-01"}, settings, s_strConnection,
                         out, err),
              kExitOk)
        << err;
    EXPECT_NE(out.find("A-" + m_strName + ": 6 passed, 0 failed, yield 100.0 %"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Total: "), std::string::npos) << out;
}

TEST(LedgerText, PasswordsAreMaskedAndTextsRoundTrip) {
    EXPECT_EQ(MaskConnection("Driver={PostgreSQL Unicode};Server=db1;PWD={a;b}}c};Uid=x"),
              "Driver={PostgreSQL Unicode};Server=db1;PWD=***;Uid=x");
    EXPECT_EQ(MaskConnection("DSN=line2; Password=abc"), "DSN=line2; Password=***");
    const std::string text = "O'Brien Ü 工位 😀";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16(text).size(), 15u);  // the emoji is a surrogate pair
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xC3")), "a\xEF\xBF\xBD");
}

TEST(LedgerText, SettingsAreCheckedAndDefaulted) {
    MemoryProfile p;
    EXPECT_FALSE(ReadLedgerSettings(p, "ZK30", "PC1").bOn);
    p.WriteString("Ledger", "Connection", "DSN=ledger");
    LedgerSettings s = ReadLedgerSettings(p, "ZK30", "PC1");
    EXPECT_TRUE(s.bOn);
    EXPECT_EQ(s.strError, "");
    EXPECT_EQ(s.config.strStation, "PC1");
    EXPECT_EQ(s.config.strSequence, "ZK30");
    EXPECT_EQ(s.config.nBlock, 100);
    for (const char* bad : {"0", "100001", "12x", "-5"}) {
        p.WriteString("Ledger", "Block", bad);
        EXPECT_NE(ReadLedgerSettings(p, "ZK30", "PC1").strError, "") << bad;
    }
    p.WriteString("Ledger", "Block", "100000");
    EXPECT_EQ(ReadLedgerSettings(p, "ZK30", "PC1").config.nBlock, 100000);
    EXPECT_NE(ReadLedgerSettings(p, "", "PC1").strError, "");  // no sequence at all
}
}  // namespace
