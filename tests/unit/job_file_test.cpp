// Sealed job files: the seal, the hashing and key derivation under it, the
// supervisor password, and pyrocmd's job commands on the writer model.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/startup.h"
#include "common/ini_profile.h"
#include "common/memory_profile.h"
#include "common/password_hash.h"
#include "common/sha256.h"
#include "console/job_command.h"
#include "emulator/model_port.h"
#include "image/job_file.h"
#include "image/otp_file.h"
#include "tests/unit/temp_path.h"

namespace {

std::string Pbkdf2Hex(const std::string& password, const std::string& salt, uint32_t n,
                      size_t bytes) {
    std::vector<uint8_t> key(bytes);
    if (!Pbkdf2Sha256(password, std::vector<uint8_t>(salt.begin(), salt.end()), n, key.data(),
                      key.size()))
        return "refused";
    return HexBytes(key.data(), key.size());
}

TEST(Crypto, KnownVectors) {
    // FIPS 180-2 examples.
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // RFC 7914, section 11.
    EXPECT_EQ(Pbkdf2Hex("passwd", "salt", 1, 64),
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
              "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    EXPECT_EQ(Pbkdf2Hex("password", "salt", 4096, 32),
              "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    EXPECT_EQ(Pbkdf2Hex("password", "salt", 0, 32), "refused");
}

TEST(Crypto, SupervisorPassword) {
    MemoryProfile settings;
    EXPECT_FALSE(SupervisorPasswordSet(settings));
    EXPECT_EQ(CheckSupervisorPassword(settings, ""), PasswordCheck::kNoneSet);
    ASSERT_TRUE(SetSupervisorPassword(settings, "s3cret pass"));
    const std::string stored = settings.GetString(kPasswordSection, kPasswordKey, "");
    EXPECT_EQ(stored.find("s3cret"), std::string::npos);
    EXPECT_EQ(stored.compare(0, 21, "pbkdf2-sha256:310000:"), 0) << stored;
    EXPECT_EQ(CheckSupervisorPassword(settings, "s3cret pass"), PasswordCheck::kRight);
    EXPECT_EQ(CheckSupervisorPassword(settings, "s3cret pasS"), PasswordCheck::kWrong);
    // Each value has its own salt.
    ASSERT_TRUE(SetSupervisorPassword(settings, "s3cret pass"));
    EXPECT_NE(settings.GetString(kPasswordSection, kPasswordKey, ""), stored);
    // An edited value opens nothing: fewer rounds or a cut hash are damage.
    std::string weak = stored;
    weak.replace(14, 6, "000100");
    EXPECT_EQ(CheckPasswordValue(weak, "s3cret pass"), PasswordCheck::kDamaged);
    EXPECT_EQ(CheckPasswordValue(stored.substr(0, stored.size() - 2), "s3cret pass"),
              PasswordCheck::kDamaged);
    EXPECT_EQ(CheckPasswordValue("plain", "plain"), PasswordCheck::kDamaged);
}

JobFile SampleJob() {
    JobFile job;
    job.strName = "Lot \"A\" \xC3\xA4";
    job.strMade = "2026-12-09T03:00:00+01:00";
    job.strBody = "ZK30P11C-4";
    job.strImageName = "a.otp";
    for (int i = 0; i < 100; ++i) job.image.push_back(static_cast<uint8_t>(i * 7));
    job.strChecksum = "1234h";
    job.bSerial = true;
    job.nSerialAddr[3] = 0x20;
    job.bAskLot = true;
    return job;
}

TEST(JobFile, SealRoundTripAndCanonicalForm) {
    JobFile job = SampleJob();
    const std::string text = FormatJobFile(job);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(job.strSeal, Sha256Hex(JobSealText(job)));
    EXPECT_EQ(job.strCode.size(), 8u);
    for (const char c : job.strCode) EXPECT_TRUE(isdigit(c) || (c >= 'A' && c <= 'F'));
    // The canonical text: sorted keys, no blanks, the image as base64 lines.
    const std::string head = "{\"auto\":{\"blank\":true,\"lock\":false,\"program\":true,";
    EXPECT_EQ(JobSealText(job).substr(0, head.size()), head);
    JobFile back;
    ASSERT_EQ(ParseJobFile(text, back), JobParse::kOk);
    EXPECT_EQ(back.strSeal, job.strSeal);
    EXPECT_EQ(back.image, job.image);
    EXPECT_EQ(back.strName, job.strName);
    EXPECT_EQ(back.nSerialAddr[3], 0x20u);
    EXPECT_TRUE(back.bAskLot && back.bSerial);
    // Spacing is no content: the same file laid out otherwise keeps its seal.
    std::string flat;
    for (const char c : text)
        if (c != '\n') flat += c;
    EXPECT_EQ(ParseJobFile(flat, back), JobParse::kOk);
    // A file sealed by another program from the documented form alone.
    EXPECT_EQ(
        ParseJobFile(ReadText(PYRO_SAMPLES_DIR "/../tests/fuzz/corpus/job_file_fuzz/valid.pgjob"),
                     back),
        JobParse::kOk);
    EXPECT_EQ(back.strName, "Sample job");
}

TEST(JobFile, AnyChangeOrDamageIsRefused) {
    JobFile job = SampleJob();
    const std::string text = FormatJobFile(job);
    JobFile out;
    // One byte of the image: the first base64 line re-encoded with a changed byte.
    JobFile changed = job;
    changed.image[5] ^= 1;
    FormatJobFile(changed);
    const std::string line =
        JobSealText(job).substr(JobSealText(job).find("\"image\":[\"") + 10, 64);
    const std::string newLine =
        JobSealText(changed).substr(JobSealText(changed).find("\"image\":[\"") + 10, 64);
    ASSERT_NE(line, newLine);
    std::string edited = text;
    edited.replace(edited.find(line), line.size(), newLine);
    EXPECT_EQ(ParseJobFile(edited, out), JobParse::kDamaged);
    edited = text;
    edited.replace(edited.find("\"lot\": true"), 11, "\"lot\": false");
    EXPECT_EQ(ParseJobFile(edited, out), JobParse::kDamaged);
    // A field added, even with the seal made for it, is no job of this format.
    edited = text;
    edited.insert(edited.find("\"name\""), "\"extra\": 1, ");
    EXPECT_EQ(ParseJobFile(edited, out), JobParse::kDamaged);
    edited = text;
    edited.replace(edited.find("\"format\": 1"), 11, "\"format\": 2");
    EXPECT_EQ(ParseJobFile(edited, out), JobParse::kNewFormat);
    for (const std::string& bad :
         {std::string(), std::string("[]"), std::string("{\"job\":{},\"seal\":\"\"}"),
          text.substr(0, text.size() / 2), text.substr(0, text.find("\"seal\"")) + "}",
          std::string("{\"job\":{\"format\":1.0},\"seal\":\"x\"}")})
        EXPECT_EQ(ParseJobFile(bad, out), JobParse::kDamaged) << bad;
    EXPECT_EQ(JobDamagedText("C:\\j\\a.pgjob"),
              "The job file C:\\j\\a.pgjob has been changed or is damaged.");
}

TEST(JobFile, ShellStartsTheWindowOnAJob) {
    const StartupArgs job = ParseStartupCommandLine("\"C:\\Line 7\\run/a.PGJOB\" ");
    EXPECT_EQ(job.strFile, "C:\\Line 7\\run/a.PGJOB");
    EXPECT_TRUE(job.bJob);
    EXPECT_FALSE(ParseStartupCommandLine("C:\\a.otp").bJob);
    EXPECT_FALSE(ParseStartupCommandLine("C:\\.pgjob.otp /HIDE=00000001").bJob);
}

TEST(JobFile, AutoStepsAndTheSettingsARunSees) {
    JobFile job;
    EXPECT_TRUE(ParseJobAutoSteps("b,V,l", job));
    EXPECT_EQ(FormatJobAutoSteps(job), "b,v,l");
    for (const char* bad : {"", "b,,v", "b,b", "x", "bp"})
        EXPECT_FALSE(ParseJobAutoSteps(bad, job)) << bad;
    EXPECT_EQ(FormatJobAutoSteps(job), "b,v,l");  // a refused text changes nothing

    MemoryProfile file;
    file.WriteInt("Auto", "Program", 1);
    file.WriteInt("Serial", "Data", 41);
    file.WriteString("Setting", "BodyName", "OTHER");
    job.strBody = "ZK30P11C-4";
    job.nSerialAddr[0] = 9;
    JobProfile run(file, job);
    EXPECT_EQ(run.GetInt("auto", "PROGRAM", 1), 0);
    EXPECT_EQ(run.GetString("Setting", "BodyName", ""), "ZK30P11C-4");
    EXPECT_EQ(run.GetInt("Serial", "Byte0Addr", 1), 9);
    EXPECT_EQ(run.GetInt("Serial", "Data", 0), 41);
    // What the run writes of the job's keys leaves the file alone; the rest reaches it.
    run.WriteString("Setting", "BodyName", "ZK41P16A");
    run.WriteInt("Serial", "Byte0Addr", 1);
    EXPECT_TRUE(run.WriteIntDurable("Serial", "Data", 42));
    EXPECT_EQ(file.GetString("Setting", "BodyName", ""), "OTHER");
    EXPECT_EQ(file.GetInt("Serial", "Byte0Addr", -1), -1);
    EXPECT_EQ(file.GetInt("Serial", "Data", 0), 42);
}

// pyrocmd's job commands on the sample settings and the writer model.
class JobCommandTest : public ::testing::Test {
  protected:
    JobCommandTest() : ini_(TestTempPath(".ini")), profile_(ini_) {
        std::ofstream(ini_, std::ios::binary) << ReadText(PYRO_SAMPLES_DIR "/Larkspur.ini");
        profile_.WriteInt("Serial", "Enable", 1);
        profile_.WriteInt("Serial", "Data", 16);
        profile_.WriteString("Log", "File", TestTempPath(".csv"));
        io_.out = [this](const std::string& t) { out_ += t; };
        io_.err = [this](const std::string& t) { err_ += t; };
        io_.readLine = [this](std::string& t) {
            t = lot_;
            return !lot_.empty();
        };
        io_.readSecret = [this](std::string& t) {
            if (secrets_.empty()) return false;
            t = secrets_.front();
            secrets_.erase(secrets_.begin());
            return true;
        };
        io_.tempFolder = [] { return ::testing::TempDir(); };
        port_.line.Control("chip pid=A6 power=A6 soft=A6");
        port_.line.Control("swap on");
        image_ = WriteTestFile(".otp", ReadBytes(PYRO_SAMPLES_DIR "/ZK30P11C-4-numbered.otp"));
        job_ = TestTempPath(".pgjob");
    }
    ~JobCommandTest() override {
        for (const std::string& f : {ini_, image_, job_, TestTempPath(".csv")})
            std::remove(f.c_str());
    }
    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        const std::string s = ReadText(path);
        return std::vector<uint8_t>(s.begin(), s.end());
    }
    int Run(const std::vector<std::string>& args) {
        out_.clear();
        err_.clear();
        const ConsoleArgs parsed = ParseConsoleArgs(args);
        if (!parsed.strError.empty()) {
            err_ = parsed.strError;
            return kExitBadCommandLine;
        }
        return RunPyrocmd(parsed, profile_, {&port_}, io_, ::testing::TempDir(), ini_);
    }
    std::string Code() {
        JobFile job;
        EXPECT_EQ(ParseJobFile(ReadText(job_), job), JobParse::kOk);
        return job.strCode;
    }

    std::string ini_, image_, job_;
    IniProfile profile_;
    emu::ModelPort port_;
    ConsoleIo io_;
    std::string out_, err_, lot_;
    std::vector<std::string> secrets_;
};

TEST_F(JobCommandTest, MadeJobRunsWithItsSettingsAndNamesCodeAndLot) {
    ASSERT_EQ(Run({"job", "make", job_, "--image", image_, "--auto", "b,p", "--lot"}), kExitOk)
        << err_;
    const std::string code = Code();
    EXPECT_NE(out_.find("Code: " + code), std::string::npos);
    EXPECT_NE(out_.find("Serial numbers: on"), std::string::npos);  // the file's default
    // A later change to the image file changes nothing.
    std::ofstream(image_, std::ios::binary) << "gone";
    lot_ = "L-17";
    ASSERT_EQ(Run({"run", "--job", job_, "--count", "2", "--no-wait", "--json"}), kExitOk) << err_;
    EXPECT_NE(err_.find("Lot number of job " + code), std::string::npos);
    EXPECT_NE(out_.find("\"job\":\"" + code + "\",\"lot\":\"L-17\""), std::string::npos) << out_;
    EXPECT_NE(out_.find("\"result\":\"Blank Check/Programming OK!\""), std::string::npos) << out_;
    const std::string log = ReadText(TestTempPath(".csv"));
    EXPECT_NE(log.find("," + job_ + ","), std::string::npos) << log;
    EXPECT_NE(log.find(",PASS," + code + ",L-17,3"), std::string::npos) << log;
    // The job's settings were the run's alone; [Serial] Data went on in the file.
    EXPECT_EQ(profile_.GetInt("Auto", "Verify", 1), 1);
    EXPECT_EQ(profile_.GetInt("Serial", "Data", 0), 18);

    EXPECT_EQ(Run({"--json", "job", "show", job_}), kExitOk);
    EXPECT_NE(out_.find("\"code\":\"" + code + "\""), std::string::npos);
}

TEST_F(JobCommandTest, ChangedJobAndContradictingOptionsAreRefused) {
    ASSERT_EQ(Run({"job", "make", job_, "--image", image_, "--no-serial", "--lot"}), kExitOk);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"run", "--job", job_, "--count", "1", "--mcu", "ZK41P16A"},
          {"run", "--job", job_, "--count", "1", "--serial"},
          {"run", "--job", job_, image_, "--count", "1"},
          {"info", "--job", job_},
          {"run", image_, "--count", "1", "--lot", "7"},
          {"job", "make", image_ + ".otp", "--image", image_}})
        EXPECT_EQ(Run(bad), kExitBadCommandLine) << bad[1];
    lot_.clear();  // the input ends at the lot prompt
    EXPECT_EQ(Run({"run", "--job", job_, "--count", "1"}), kExitBadCommandLine);
    EXPECT_EQ(out_.find("Chip"), std::string::npos);

    // One changed image byte, sealed again by nobody.
    JobFile job;
    ASSERT_EQ(ParseJobFile(ReadText(job_), job), JobParse::kOk);
    std::string text = ReadText(job_);
    const size_t at = text.find("\"image\": [") + 16;
    text[at] = text[at] == 'A' ? 'B' : 'A';
    std::ofstream(job_, std::ios::binary) << text;
    EXPECT_EQ(Run({"run", "--job", job_, "--count", "1", "--lot", "x"}), kExitBadImage);
    EXPECT_EQ(err_, "pyrocmd: " + JobDamagedText(job_) + "\n");
    EXPECT_EQ(Run({"job", "show", job_}), kExitBadImage);

    // A job sealed over an image that does not load is damaged too.
    job.image.resize(40);
    std::ofstream(job_, std::ios::binary) << FormatJobFile(job);
    EXPECT_EQ(Run({"job", "show", job_}), kExitBadImage);
    EXPECT_EQ(err_.find("pyrocmd: " + JobDamagedText(job_) + "\n"), 0u) << err_;
}

TEST_F(JobCommandTest, PasswordIsSetFromTheInputAndNeverStored) {
    secrets_ = {"short"};
    EXPECT_EQ(Run({"job", "password"}), kExitOperationFailed);
    secrets_ = {"line-7 supervisor"};
    EXPECT_EQ(Run({"job", "password"}), kExitOk) << err_;
    EXPECT_EQ(ReadText(ini_).find("line-7"), std::string::npos);
    EXPECT_EQ(CheckSupervisorPassword(profile_, "line-7 supervisor"), PasswordCheck::kRight);
    // Changing it asks for the one set.
    const std::string stored = profile_.GetString(kPasswordSection, kPasswordKey, "");
    secrets_ = {"guess", "other password"};
    EXPECT_EQ(Run({"job", "password"}), kExitOperationFailed);
    EXPECT_EQ(profile_.GetString(kPasswordSection, kPasswordKey, ""), stored);
}

}  // namespace
