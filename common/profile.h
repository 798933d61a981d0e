#pragma once
#include <string>

// The settings file as the private-profile functions see it: sections and keys
// match without regard to case, a missing key yields the caller's default.
class Profile {
  public:
    virtual ~Profile() = default;
    virtual int GetInt(const std::string& section, const std::string& key, int def) const = 0;
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& def) const = 0;
    // Integers go out as signed decimal so every 32-bit pattern reads back unchanged.
    virtual void WriteInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // One value written so that the file holds either its old bytes or the
    // new ones whatever stops the program midway (a crash, a power cut), with
    // every other byte of the file kept. False when it could not be written
    // (read-only file, full disk); the file is then unchanged.
    virtual bool WriteStringDurable(const std::string& section, const std::string& key,
                                    const std::string& value) = 0;
    bool WriteIntDurable(const std::string& section, const std::string& key, int value) {
        return WriteStringDurable(section, key, std::to_string(value));
    }
};

// Parses a profile integer the way the profile functions do: optional sign,
// decimal or 0x-prefixed hex, stopping at the first other character.
int ParseProfileInt(const std::string& text);
