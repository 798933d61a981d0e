#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "tests/unit/recording_reporter.h"
#include "core/session.h"
#include "image/pc_buffer.h"

// Front end for the image loaders: records what reaches the screen, over a
// session of its own that the loaders take it for.
class FakeImageHost : public RecordingReporter {
  public:
    explicit FakeImageHost(const std::string& iniPath) : profile_(iniPath) {
        texts[Slot::kChecksum] = "old";
    }

    const std::string& ChecksumLabel() { return texts[Slot::kChecksum]; }

    operator Session&() { return session; }
    Profile& Settings() { return profile_; }
    // Loads into the session's buffer as the Open command does.
    bool Open(const std::string& path) { return session.OpenImage(path).Passed(); }

  private:
    IniProfile profile_;
    NoPort port_;

  public:
    Session session{profile_, *this, port_};
    const BodyTable& table = session.Bodies();
    const BodyRecord* Selected() const { return session.SelectedBody(); }
};

// A temporary folder's worth of files for one test, with a settings file that
// lists the bodies the image tests use.
class ImageFileTest : public ::testing::Test {
  protected:
    ImageFileTest()
        : dir_(::testing::TempDir() + "img_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_"),
          ini_(WriteSettings(dir_ + "settings.ini")),
          host_(std::make_unique<FakeImageHost>(ini_)),
          buf_(host_->session.Buffer()) {}

    static std::string WriteSettings(const std::string& path) {
        std::ofstream(path, std::ios::binary) << "[Setting]\nver=new\n[Body]\ncount=6\n"
                                                 "Body0=ZK30P11C-4,AD,1F2,2000,2,0,0\n"
                                                 "Body1=ZK40D6,D6,155,10000,3,0,0\n"
                                                 "Body2=ZK20OLD,A1,A1,1000,1,0,0\n"
                                                 "Body3=ZK50C,70,1234,4000,4,0,0\n"
                                                 "Body4=ZV62Q09,D8,E2,4000,0,0,0\n"
                                                 "Body5=ZV62Q03,C2,E0,4000,0,0,0\n";
        return path;
    }
    void TearDown() override {
        for (const std::string& p : files_) std::remove(p.c_str());
        std::remove(ini_.c_str());
    }
    std::string Path(const std::string& name) {
        files_.push_back(dir_ + name);
        return dir_ + name;
    }
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = Path(name);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    FakeImageHost& host() { return *host_; }

    std::string dir_, ini_;
    std::vector<std::string> files_;
    std::unique_ptr<FakeImageHost> host_;
    const PcBuffer& buf_;  // the session's, as the loads leave it
};
