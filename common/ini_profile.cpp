#include "common/ini_profile.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/file_io.h"
#include "common/profile_edit.h"
#include "common/split_token.h"
#include "common/text_case.h"

int ParseProfileInt(const std::string& text) {
    const std::string t = TrimWhite(text);
    const char* p = t.c_str();
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    uint32_t v = 0;
    for (;; ++p) {
        const int d = HexDigitValue(*p);
        if (d < 0 || d >= base) break;
        v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    }
    if (neg) v = 0u - v;
    return static_cast<int>(v);
}

IniProfile::IniProfile(std::string path) : path_(std::move(path)) {}

std::vector<IniProfile::Section> IniProfile::Load() const {
    std::vector<Section> out;
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    Section* cur = nullptr;
    while (std::getline(in, line)) {
        line = TrimWhite(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t e = line.find(']');
            out.push_back({TrimWhite(line.substr(1, e == std::string::npos ? e : e - 1)), {}});
            cur = &out.back();
            continue;
        }
        const size_t eq = line.find('=');
        if (!cur || eq == std::string::npos) continue;
        cur->entries.push_back({TrimWhite(line.substr(0, eq)), TrimWhite(line.substr(eq + 1))});
    }
    return out;
}

void IniProfile::Save(const std::vector<Section>& sections) const {
    std::string bytes;
    for (const Section& s : sections) {
        bytes += '[' + s.name + "]\r\n";
        for (const Entry& e : s.entries) bytes += e.key + '=' + e.value + "\r\n";
    }
    struct stat st = {};
    const bool exists = stat(path_.c_str(), &st) == 0;
    // Renaming over a read-only file would succeed; writing it must not.
    if (exists && (st.st_mode & 0222) == 0) return;
    ReplaceFile(bytes, exists ? st.st_mode & 07777 : 0644, false);
}

bool IniProfile::ReplaceFile(const std::string& bytes, unsigned mode, bool durable) const {
    // A copy of its own beside the file, then renamed over it: a reader in
    // another program meets the old file or the new one, never a half-written
    // one, and writers running at once never share a copy.
    static std::atomic<unsigned> copies{0};
    std::string temp = path_ + ".new";
#ifndef _WIN32
    temp += std::to_string(getpid());
#endif
    temp += "-" + std::to_string(copies++);
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) return false;
    bool ok =
        std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
#ifndef _WIN32
    ok = ok && fchmod(fileno(out), mode) == 0;
    if (durable) ok = ok && fsync(fileno(out)) == 0;
#else
    (void)mode;
    (void)durable;
#endif
    ok = std::fclose(out) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path_.c_str()) == 0;
    if (!ok) {
        std::remove(temp.c_str());
        return false;
    }
#ifndef _WIN32
    if (durable) {
        // The rename itself reaches the disk with the folder.
        const size_t slash = path_.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
        const int fd = open(dir.c_str(), O_RDONLY);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
#endif
    return true;
}

std::string IniProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& def) const {
    for (const Section& s : Load()) {
        if (!EqualsNoCase(s.name, section)) continue;
        for (const Entry& e : s.entries)
            if (EqualsNoCase(e.key, key)) {
                std::string v = e.value;
                // A value in matching quotes reads without them, as the system does.
                if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
                    v = v.substr(1, v.size() - 2);
                return v;
            }
    }
    return def;
}

int IniProfile::GetInt(const std::string& section, const std::string& key, int def) const {
    static const std::string kMissing("\x01");
    const std::string v = GetString(section, key, kMissing);
    if (v == kMissing || v.empty()) return def;
    return ParseProfileInt(v);
}

void IniProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
    std::vector<Section> all = Load();
    Section* sec = nullptr;
    for (Section& s : all)
        if (EqualsNoCase(s.name, section)) {
            sec = &s;
            break;
        }
    if (!sec) {
        all.push_back({section, {}});
        sec = &all.back();
    }
    bool done = false;
    for (Entry& e : sec->entries)
        if (EqualsNoCase(e.key, key)) {
            e.value = value;
            done = true;
            break;
        }
    if (!done) sec->entries.push_back({key, value});
    Save(all);
}

void IniProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

bool IniProfile::WriteStringDurable(const std::string& section, const std::string& key,
                                    const std::string& value) {
    std::string bytes;
    struct stat st = {};
    const bool exists = stat(path_.c_str(), &st) == 0;
    if (exists) {
        // A file without write permission is read-only even to a user whom
        // the system would let write it anyway.
        if ((st.st_mode & 0222) == 0) return false;
        std::vector<uint8_t> raw;
        if (!ReadWholeFile(path_, raw)) return false;
        bytes.assign(raw.begin(), raw.end());
    } else if (errno != ENOENT) {
        return false;
    }
    SetProfileValue(bytes, section, key, value);
    return ReplaceFile(bytes, exists ? st.st_mode & 07777 : 0644, true);
}
