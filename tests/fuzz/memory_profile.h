#pragma once
#include <cctype>
#include <map>
#include <string>

#include "common/profile.h"

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

  private:
    static std::string Key(std::string s, const std::string& k) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string key = k;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s + "\n" + key;
    }
    std::map<std::string, std::string> values_;
};
