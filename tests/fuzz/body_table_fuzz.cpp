// Body lines of the settings file: each one parses into a record that, written
// back as a line, parses into the same record, and the table built from many
// lines is keyed by the names its records hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/body_table.h"
#include "common/memory_profile.h"

namespace {

bool SameRecord(const BodyRecord& a, const BodyRecord& b) {
    return std::strcmp(a.szName, b.szName) == 0 && a.nPID == b.nPID && a.nOID == b.nOID &&
           a.nKind == b.nKind && a.nRomWords == b.nRomWords && a.wOptWords == b.wOptWords &&
           a.nExtraAddr == b.nExtraAddr && a.dwOptAddr == b.dwOptAddr && a.wExtra == b.wExtra &&
           a.bReset == b.bReset;
}

// The record as a settings-file line of the given form.
std::string LineOf(const BodyRecord& r, bool withPid) {
    char text[160];
    if (withPid)
        std::snprintf(text, sizeof text, "%s,%X,%X,%X,%X,%X,%X,%s", r.szName, r.nPID, r.nOID,
                      r.nRomWords, r.wOptWords, r.nExtraAddr, r.wExtra,
                      r.bReset ? "reset" : "NoReset");
    else
        std::snprintf(text, sizeof text, "%s,%X,%X,%X,%X,%X,%s", r.szName, r.nOID, r.nRomWords,
                      r.wOptWords, r.nExtraAddr, r.wExtra, r.bReset ? "reset" : "noreset");
    return text;
}

void CheckLine(const std::string& line, bool withPid) {
    BodyRecord rec;
    if (!ParseBodyLine(line, withPid, rec)) {
        // Only a line without a name is refused.
        if (line.find_first_not_of(" \t\r\n\v\f,") != std::string::npos &&
            line[line.find_first_not_of(" \t\r\n\v\f")] != ',')
            std::abort();
        return;
    }
    const size_t n = std::strlen(rec.szName);
    if (n == 0 || n >= sizeof rec.szName) std::abort();
    if (!withPid && rec.nPID != rec.nOID) std::abort();
    const bool big = rec.nPID == 0xD6 || rec.nPID == 0xD8;
    if (rec.nKind != (big ? 5u : 4u) || rec.dwOptAddr != (big ? 0x80000u : 0x8000u)) std::abort();
    if (rec.bReset > 1) std::abort();

    BodyRecord again;
    if (!ParseBodyLine(LineOf(rec, withPid), withPid, again) || !SameRecord(rec, again))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool withPid = data[0] & 1;
    // The profile functions hand out one line without its zero or line end.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    for (char& c : text)
        if (c == '\0') c = '\n';

    MemoryProfile profile;
    profile.WriteString("Setting", "ver", withPid ? "NEW" : "old");
    int count = 0;
    size_t pos = 0;
    while (pos <= text.size() && count < 16) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        CheckLine(line, withPid);
        profile.WriteString("Body", "Body" + std::to_string(count++), line);
        pos = end + 1;
    }
    // One more than there are lines: a missing line names nothing.
    profile.WriteInt("Body", "count", count + 1);

    BodyTable table;
    LoadBodyTable(profile, table);
    if (table.size() > static_cast<size_t>(count)) std::abort();
    for (const auto& entry : table) {
        if (entry.first.empty() || entry.first != entry.second->szName) std::abort();
        if (LookupBody(table, entry.first) != entry.second.get()) std::abort();
        const uint16_t pid = static_cast<uint16_t>(entry.second->nPID);
        const uint16_t oid = static_cast<uint16_t>(entry.second->nOID);
        const BodyRecord* found = LookupBody(table, FindBodyName(table, pid, oid));
        if (entry.second->nPID == pid && entry.second->nOID == oid &&
            (!found || found->nPID != pid || found->nOID != oid))
            std::abort();
    }
    return 0;
}
