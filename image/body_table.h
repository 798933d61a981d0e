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

// Default of [Setting] BodyName.
extern const char kDefaultBodyName[];

// Fills `table` from [Body] count / Body0.. and [Setting] ver. A later line
// with a name already present replaces the earlier record.
void LoadBodyTable(const Profile& profile, BodyTable& table);

// Parses one body line; false when it carries no name. `withPid` is the
// [Setting] ver = "new" form.
bool ParseBodyLine(const std::string& line, bool withPid, BodyRecord& rec);

// Name of the first body (in name order) with this PID/OID pair, or "".
std::string FindBodyName(const BodyTable& table, uint16_t pid, uint16_t oid);

// Exact, case-sensitive lookup; nullptr when the table has no such body.
const BodyRecord* LookupBody(const BodyTable& table, const std::string& name);

// [Setting] BodyName, or the default body's name.
std::string SelectedBodyName(const Profile& profile);
// The portable half of SelectBody: the record named by [Setting] BodyName.
const BodyRecord* FindSelectedBody(const Profile& profile, const BodyTable& table);

// Voice bodies switch the window into voice mode: first five chars "ZV62Q", any case.
bool IsVoiceBodyName(const std::string& name);
