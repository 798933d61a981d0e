#pragma once
#include <cstdlib>
#include <map>
#include <string>

#include "common/profile.h"
#include "image/body_table.h"
#include "image/image_load_host.h"

// Settings held in memory, so a fuzz run touches no files.
class MemoryProfile : public Profile {
  public:
    int GetInt(const std::string& s, const std::string& k, int def) const override {
        const auto it = values_.find(Key(s, k));
        return it == values_.end() ? def : ParseProfileInt(it->second);
    }
    std::string GetString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        const auto it = values_.find(Key(s, k));
        return it == values_.end() ? def : it->second;
    }
    void WriteInt(const std::string& s, const std::string& k, int v) override {
        values_[Key(s, k)] = std::to_string(v);
    }
    void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
        values_[Key(s, k)] = v;
    }
    bool WriteIntDurable(const std::string& s, const std::string& k, int v) override {
        WriteInt(s, k, v);
        return true;
    }

  private:
    static std::string Key(std::string s, const std::string& k) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string key = k;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s + "\n" + key;
    }
    std::map<std::string, std::string> values_;
};

class FuzzImageHost : public ImageLoadHost {
  public:
    FuzzImageHost() {
        const char* lines[] = {"A,AD,1F2,2000,2",  "B,D6,155,10000,3", "C,A1,A1,1000,1",
                               "D,70,1234,4000,4", "E,D8,E2,4000,0",   "F,C2,E0,4000,0",
                               "G,D8,E5,10000,0",  "H,0,0,0,0"};
        for (const char* line : lines) {
            auto rec = std::make_unique<BodyRecord>();
            if (ParseBodyLine(line, true, *rec)) table_[rec->szName] = std::move(rec);
        }
    }
    void SetMessage(const std::string& t) override { message_ = t; }
    void AppendMessage(const std::string& t) override {
        if (message_.size() < 4096) message_ += t;
    }
    void UpdateScreen() override {}
    void ShowMessageBox(const std::string&) override {}
    void ShowChecksum(int) override {}
    void ResetHexView(int maxRow) override {
        if (maxRow < 0) std::abort();
    }
    const BodyRecord* SelectBodyByName(const std::string& name) override {
        profile_.WriteString("Setting", "BodyName", name);
        return FindSelectedBody(profile_, table_);
    }
    void ClearSelectedBody() override {}
    const BodyTable& Bodies() const override { return table_; }
    Profile& Settings() override { return profile_; }
    void CheckSerialAddresses() override {}
    void PumpOneMessage() override {}

  private:
    BodyTable table_;
    MemoryProfile profile_;
    std::string message_;
};
