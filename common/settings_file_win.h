#pragma once
#include <string>

#include "common/profile.h"
#include "common/settings_file.h"

// The settings file through the system's private-profile functions, on one
// full path fixed at start-up.
class WinProfile : public Profile {
  public:
    explicit WinProfile(std::wstring path) : m_path(std::move(path)) {}
    int GetInt(const std::string& section, const std::string& key, int def) const override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    // The profile functions rewrite the file in place, so a crash midway can
    // leave it cut short: this writes a copy beside it and moves that over it.
    bool WriteStringDurable(const std::string& section, const std::string& key,
                            const std::string& value) override;
    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
};
