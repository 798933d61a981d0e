#include "image/body_table.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/profile.h"
#include "common/split_token.h"

namespace {

uint32_t HexToken(std::string& line) {
    const std::string t = SplitToken(line, ',');
    return static_cast<uint32_t>(std::strtoul(t.c_str(), nullptr, 16));
}

}  // namespace

void LoadBodyTable(const Profile& profile, BodyTable& table) {
    const int count = profile.GetInt("Body", "count", 0);
    const bool withPid = strcasecmp(profile.GetString("Setting", "ver", "").c_str(), "new") == 0;
    for (int i = 0; i < count; ++i) {
        std::string line = profile.GetString("Body", "Body" + std::to_string(i), "");
        std::string name = SplitToken(line, ',').substr(0, sizeof(BodyRecord::szName) - 1);
        if (name.empty()) continue;
        auto rec = std::make_unique<BodyRecord>();
        std::memcpy(rec->szName, name.c_str(), name.size() + 1);
        rec->nPID = withPid ? HexToken(line) : 0;
        rec->nOID = HexToken(line);
        rec->nRomWords = HexToken(line);
        rec->wOptWords = static_cast<uint16_t>(HexToken(line));
        rec->nExtraAddr = HexToken(line);
        rec->wExtra = static_cast<uint16_t>(HexToken(line));
        rec->bReset = strcasecmp(SplitToken(line, ',').c_str(), "noreset") == 0 ? 0 : 1;
        const bool big = rec->nPID == 0xD6 || rec->nPID == 0xD8;
        rec->nKind = big ? 5 : 4;
        rec->dwOptAddr = big ? 0x80000 : 0x8000;
        table[name] = std::move(rec);
    }
}

std::string FindBodyName(const BodyTable& table, uint16_t pid, uint16_t oid) {
    for (const auto& [name, rec] : table) {
        if (rec->nPID == pid && rec->nOID == oid) return name;
    }
    return std::string();
}

bool IsVoiceBodyName(const std::string& name) {
    static const char kPrefix[] = "ZV62Q";
    if (name.size() < 5) return false;
    for (size_t i = 0; i < 5; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != kPrefix[i]) return false;
    }
    return true;
}
