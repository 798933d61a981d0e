#pragma once
#include <cstdint>
#include <string>

class Profile;

// The supervisor password, kept as a salted PBKDF2-SHA-256 hash in one
// settings value: "pbkdf2-sha256:ITERATIONS:SALT:HASH" (hex). The password
// itself is never stored. There is no default: without the value none is set.

constexpr uint32_t kPasswordIterations = 310000;
// Fewer than this is taken for a damaged value, never for a weaker password.
constexpr uint32_t kMinPasswordIterations = 200000;
constexpr size_t kPasswordSaltBytes = 16;
extern const char kPasswordSection[];  // "Job"
extern const char kPasswordKey[];      // "PasswordHash"

// The value for `password` with a fresh salt; empty when the system's
// cryptography failed.
std::string MakePasswordValue(const std::string& password,
                              uint32_t iterations = kPasswordIterations);

enum class PasswordCheck { kNoneSet, kRight, kWrong, kDamaged };
// `value` as stored (empty: none set).
PasswordCheck CheckPasswordValue(const std::string& value, const std::string& password);

bool SupervisorPasswordSet(const Profile& profile);
PasswordCheck CheckSupervisorPassword(const Profile& profile, const std::string& password);
// False when the value could not be made or written.
bool SetSupervisorPassword(Profile& profile, const std::string& password);
