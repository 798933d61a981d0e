#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class Profile;

// One chip body of the settings file's [Body] lines.
struct BodyRecord {
    char szName[16] = {};
    uint32_t nPID = 0;
    uint32_t nOID = 0;
    uint32_t nKind = 4;
    uint32_t nRomWords = 0;
    uint16_t wOptWords = 0;
    uint32_t nExtraAddr = 0;
    uint32_t dwOptAddr = 0x8000;
    uint16_t wExtra = 0;
    uint32_t bReset = 1;
};

// Keyed by exact body name; iteration runs in name order, so "the first entry"
// is the same on every run.
using BodyTable = std::map<std::string, std::unique_ptr<BodyRecord>>;

// Builds the table from the settings file's [Body] lines.
void LoadBodyTable(const Profile& profile, BodyTable& table);
// Name of the first body whose PID and OID match, or empty.
std::string FindBodyName(const BodyTable& table, uint16_t pid, uint16_t oid);
// Voice-chip bodies are named "ZV62Q..." (first five characters, any case).
bool IsVoiceBodyName(const std::string& name);
