#include "common/password_hash.h"

#include <vector>

#include "common/profile.h"
#include "common/sha256.h"
#include "common/split_token.h"

const char kPasswordSection[] = "Job";
const char kPasswordKey[] = "PasswordHash";

namespace {
const char kScheme[] = "pbkdf2-sha256";

bool ParseIterations(const std::string& text, uint32_t& n) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return false;
    n = static_cast<uint32_t>(v);
    return true;
}
}  // namespace

std::string MakePasswordValue(const std::string& password, uint32_t iterations) {
    std::vector<uint8_t> salt(kPasswordSaltBytes);
    uint8_t key[kSha256Bytes];
    if (!RandomBytes(salt.data(), salt.size()) ||
        !Pbkdf2Sha256(password, salt, iterations, key, sizeof key))
        return std::string();
    return std::string(kScheme) + ":" + std::to_string(iterations) + ":" +
           HexBytes(salt.data(), salt.size()) + ":" + HexBytes(key, sizeof key);
}

PasswordCheck CheckPasswordValue(const std::string& value, const std::string& password) {
    std::string rest = TrimWhite(value);
    if (rest.empty()) return PasswordCheck::kNoneSet;
    const std::string scheme = SplitToken(rest, ':');
    const std::string count = SplitToken(rest, ':');
    const std::string saltHex = SplitToken(rest, ':');
    uint32_t iterations = 0;
    std::vector<uint8_t> salt, hash;
    if (scheme != kScheme || !ParseIterations(count, iterations) ||
        iterations < kMinPasswordIterations || !ParseHexBytes(saltHex, salt) || salt.size() < 8 ||
        !ParseHexBytes(rest, hash) || hash.size() != kSha256Bytes)
        return PasswordCheck::kDamaged;
    uint8_t key[kSha256Bytes];
    if (!Pbkdf2Sha256(password, salt, iterations, key, sizeof key)) return PasswordCheck::kDamaged;
    // Every byte compared, so the time taken says nothing of where they differ.
    uint8_t diff = 0;
    for (size_t i = 0; i < kSha256Bytes; ++i) diff |= static_cast<uint8_t>(key[i] ^ hash[i]);
    return diff == 0 ? PasswordCheck::kRight : PasswordCheck::kWrong;
}

bool SupervisorPasswordSet(const Profile& profile) {
    return !TrimWhite(profile.GetString(kPasswordSection, kPasswordKey, "")).empty();
}

PasswordCheck CheckSupervisorPassword(const Profile& profile, const std::string& password) {
    return CheckPasswordValue(profile.GetString(kPasswordSection, kPasswordKey, ""), password);
}

bool SetSupervisorPassword(Profile& profile, const std::string& password) {
    const std::string value = MakePasswordValue(password);
    if (value.empty()) return false;
    profile.WriteString(kPasswordSection, kPasswordKey, value);
    return profile.GetString(kPasswordSection, kPasswordKey, "") == value;
}
