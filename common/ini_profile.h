#pragma once
#include <string>
#include <vector>

#include "common/profile.h"

// An INI file read and written with the profile functions' rules. Used by the
// native tools and as the settings file in tests; the Windows programs use the
// system's own functions instead.
class IniProfile : public Profile {
  public:
    explicit IniProfile(std::string path);
    int GetInt(const std::string& section, const std::string& key, int def) const override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    // Written beside the file, then renamed over it (POSIX rename semantics).
    bool WriteStringDurable(const std::string& section, const std::string& key,
                            const std::string& value) override;
    const std::string& path() const { return path_; }

  private:
    struct Entry {
        std::string key, value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    std::vector<Section> Load() const;
    void Save(const std::vector<Section>& sections) const;
    // The whole file replaced by bytes; durable: on the disk before it returns.
    bool ReplaceFile(const std::string& bytes, unsigned mode, bool durable) const;
    std::string path_;
};
