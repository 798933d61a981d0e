#pragma once
#include <map>
#include <string>

#include "common/profile.h"
#include "common/text_case.h"

// Settings held in memory: what is written stays here and is read back first;
// other keys come from `base` (when given), which is never written. Tools and
// fuzzing use it so that their loads change no file.
class MemoryProfile : public Profile {
  public:
    explicit MemoryProfile(const Profile* base = nullptr) : base_(base) {}
    int GetInt(const std::string& s, const std::string& k, int def) const override {
        const auto it = values_.find(Key(s, k));
        if (it != values_.end()) return ParseProfileInt(it->second);
        return base_ ? base_->GetInt(s, k, def) : def;
    }
    std::string GetString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        const auto it = values_.find(Key(s, k));
        if (it != values_.end()) return it->second;
        return base_ ? base_->GetString(s, k, def) : def;
    }
    void WriteInt(const std::string& s, const std::string& k, int v) override {
        values_[Key(s, k)] = std::to_string(v);
    }
    void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
        values_[Key(s, k)] = v;
    }
    bool WriteStringDurable(const std::string& s, const std::string& k,
                            const std::string& v) override {
        WriteString(s, k, v);
        return true;
    }

  private:
    // Sections and keys match without regard to case, as in the file.
    static std::string Key(const std::string& s, const std::string& k) {
        return LowerAscii(s) + "\n" + LowerAscii(k);
    }
    const Profile* base_;
    std::map<std::string, std::string> values_;
};
