#include "image/body_table.h"

#include <cstdio>

#include "common/chip_family.h"
#include "common/profile.h"
#include "common/split_token.h"
#include "common/text_case.h"

const char kDefaultBodyName[] = "ZK30P11C-4";

namespace {

// Unsigned hex conversion that stops at the first non-hex character; values
// past 32 bits saturate instead of wrapping into a plausible-looking size.
uint32_t ParseHex(const std::string& token) {
    size_t i = 0;
    if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) i = 2;
    uint64_t value = 0;
    for (; i < token.size(); ++i) {
        const int digit = HexDigitValue(token[i]);
        if (digit < 0) break;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

uint32_t NextHex(std::string& rest) {
    return ParseHex(SplitToken(rest, ','));
}

}  // namespace

bool ParseBodyLine(const std::string& line, bool withPid, BodyRecord& rec) {
    std::string rest = line;
    const std::string name = SplitToken(rest, ',');
    if (name.empty()) return false;
    rec = BodyRecord();
    // The name doubles as the key, so it is cut to what the record can hold;
    // blanks the cut leaves at the end go too, or the name written back as
    // BodyName would read back without them and name no body.
    const std::string kept = TrimWhite(name.substr(0, sizeof rec.szName - 1));
    std::snprintf(rec.szName, sizeof rec.szName, "%s", kept.c_str());
    if (withPid) rec.nPID = NextHex(rest);
    rec.nOID = NextHex(rest);
    // Old-style lines carry no PID; their chips use the header form whose
    // OID equals the PID, so that is the PID that can match a file.
    if (!withPid) rec.nPID = rec.nOID;
    rec.nRomWords = NextHex(rest);
    rec.wOptWords = static_cast<uint16_t>(NextHex(rest));
    rec.nExtraAddr = NextHex(rest);
    rec.wExtra = static_cast<uint16_t>(NextHex(rest));
    rec.bReset = EqualsNoCase(SplitToken(rest, ','), "noreset") ? 0 : 1;
    const ChipFamily& family = FamilyOf(rec.nPID);
    rec.nKind = family.driverKind;
    rec.dwOptAddr = family.optionBase;
    return true;
}

void LoadBodyTable(const Profile& profile, BodyTable& table) {
    const int count = profile.GetInt("Body", "count", 0);
    const bool withPid = EqualsNoCase(profile.GetString("Setting", "ver", ""), "new");
    for (int i = 0; i < count; ++i) {
        char key[24];
        std::snprintf(key, sizeof key, "Body%d", i);
        auto rec = std::make_unique<BodyRecord>();
        // A missing or blank line names nothing; storing it under "" would only
        // give the MCU list an empty entry.
        if (!ParseBodyLine(profile.GetString("Body", key, ""), withPid, *rec)) continue;
        const std::string name = rec->szName;
        table[name] = std::move(rec);
    }
}

std::string FindBodyName(const BodyTable& table, uint16_t pid, uint16_t oid) {
    for (const auto& entry : table)
        if (entry.second->nPID == pid && entry.second->nOID == oid) return entry.first;
    return std::string();
}

const BodyRecord* LookupBody(const BodyTable& table, const std::string& name) {
    const auto it = table.find(name);
    return it == table.end() ? nullptr : it->second.get();
}

std::string SelectedBodyName(const Profile& profile) {
    return profile.GetString("Setting", "BodyName", kDefaultBodyName);
}

const BodyRecord* FindSelectedBody(const Profile& profile, const BodyTable& table) {
    return LookupBody(table, SelectedBodyName(profile));
}

bool IsVoiceBodyName(const std::string& name) {
    return StartsWithNoCase(name, "ZV62Q");
}
