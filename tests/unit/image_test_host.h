#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/ini_profile.h"
#include "image/body_table.h"
#include "image/image_load_host.h"
#include "image/pc_buffer.h"

// Window stand-in for the image loaders: records what reaches the screen.
class FakeImageHost : public ImageLoadHost {
  public:
    explicit FakeImageHost(const std::string& iniPath) : profile_(iniPath) {}

    void SetMessage(const std::string& text) override { message = text; }
    void AppendMessage(const std::string& text) override { message += text; }
    void UpdateScreen() override { shownMessage = message; }
    void ShowMessageBox(const std::string& text) override { boxes.push_back(text); }
    void ShowChecksum(int flag) override {
        checksumLabel = flag == 0                  ? std::string()
                        : buffer && buffer->m_pBin ? FormatChecksum(BufferChecksum(*buffer))
                                                   : checksumLabel;
    }
    void ResetHexView(int maxRow) override { hexMax = maxRow; }
    const BodyRecord* SelectBodyByName(const std::string& name) override {
        profile_.WriteString("Setting", "BodyName", name);
        selected = FindSelectedBody(profile_, table);
        return selected;
    }
    void ClearSelectedBody() override { selected = nullptr; }
    const BodyTable& Bodies() const override { return table; }
    Profile& Settings() override { return profile_; }
    void CheckSerialAddresses() override { ++serialChecks; }
    void PumpOneMessage() override { ++pumps; }

    void LoadBodies() { LoadBodyTable(profile_, table); }

    const PcBuffer* buffer = nullptr;  // for the checksum label
    BodyTable table;
    std::string message, shownMessage, checksumLabel = "old";
    std::vector<std::string> boxes;
    const BodyRecord* selected = nullptr;
    int hexMax = -1, serialChecks = 0, pumps = 0;

  private:
    IniProfile profile_;
};

// A temporary folder's worth of files for one test, with a settings file that
// lists the bodies the image tests use.
class ImageFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "img_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
        ini_ = Path("settings.ini");
        std::ofstream(ini_, std::ios::binary) << "[Setting]\nver=new\n[Body]\ncount=6\n"
                                                 "Body0=ZK30P11C-4,AD,1F2,2000,2,0,0\n"
                                                 "Body1=ZK40D6,D6,155,10000,3,0,0\n"
                                                 "Body2=ZK20OLD,A1,A1,1000,1,0,0\n"
                                                 "Body3=ZK50C,70,1234,4000,4,0,0\n"
                                                 "Body4=ZV62Q09,D8,E2,4000,0,0,0\n"
                                                 "Body5=ZV62Q03,C2,E0,4000,0,0,0\n";
        host_ = std::make_unique<FakeImageHost>(ini_);
        host_->LoadBodies();
        host_->buffer = &buf_;
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

    PcBuffer buf_;
    std::string dir_, ini_;
    std::vector<std::string> files_;
    std::unique_ptr<FakeImageHost> host_;
};
