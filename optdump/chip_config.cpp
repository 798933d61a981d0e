#include "optdump/chip_config.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/file_io.h"
#include "common/split_token.h"
#include "common/text_case.h"
#include "optdump/cfg_scramble.h"
#include "optdump/dump_host.h"
#include "optdump/option_source.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads one line of the configuration grammar token by token.
class Cursor {
  public:
    explicit Cursor(const std::string& s, size_t pos = 0) : m_s(s), m_pos(pos) {}

    void SkipBlanks() {
        while (m_pos < m_s.size() && IsBlank(m_s[m_pos])) ++m_pos;
    }
    char Peek() {
        SkipBlanks();
        return m_pos < m_s.size() ? m_s[m_pos] : '\0';
    }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++m_pos;
        return true;
    }
    bool Number(uint32_t* v) { return ParseConfigNumber(m_s, &m_pos, v); }
    bool CommaNumber(uint32_t* v) { return Take(',') && Number(v); }
    // Text between `open` and `close`; at most `keep` characters are kept.
    bool Enclosed(char open, char close, size_t keep, std::string* out) {
        if (!Take(open)) return false;
        const size_t end = m_s.find(close, m_pos);
        if (end == std::string::npos) return false;
        *out = m_s.substr(m_pos, std::min(end - m_pos, keep));
        m_pos = end + 1;
        return true;
    }
    bool Quoted(size_t keep, std::string* out) { return Enclosed('\'', '\'', keep, out); }
    bool Word(size_t keep, std::string* out) {
        SkipBlanks();
        const size_t start = m_pos;
        while (m_pos < m_s.size() &&
               (std::isalnum(static_cast<unsigned char>(m_s[m_pos])) || m_s[m_pos] == '_'))
            ++m_pos;
        if (m_pos == start) return false;
        *out = m_s.substr(start, std::min(m_pos - start, keep));
        return true;
    }
    std::string Rest() const { return m_pos < m_s.size() ? m_s.substr(m_pos) : std::string(); }
    size_t Pos() const { return m_pos; }
    void SetPos(size_t p) { m_pos = p; }

  private:
    const std::string& m_s;
    size_t m_pos;
};

// Does the line start, after blanks, with the quoted word `word`?
bool StartsWithQuoted(const char* word, bool anyCase, Cursor* cur) {
    std::string text;
    if (!cur->Quoted(kLineChars, &text)) return false;
    return anyCase ? EqualsNoCase(text, word) : text == word;
}

bool ParseChoice(const std::string& line, bool needBraces, bool* comment, ItemChoice* choice) {
    Cursor cur(line);
    uint32_t value = 0;
    *comment = false;
    if (!cur.Number(&value)) return false;
    if (cur.Peek() == ';') {
        *comment = true;
        return true;
    }
    if (!cur.Take(',')) return false;
    choice->value = static_cast<uint16_t>(value);
    if (cur.Peek() == '{') {
        if (!cur.Enclosed('{', '}', kChoiceTextChars, &choice->shortText) || !cur.Take(','))
            return false;
    } else if (needBraces) {
        return false;
    }
    if (!cur.Quoted(kChoiceTextChars, &choice->text)) return false;
    if (cur.Take(',')) {
        cur.SkipBlanks();
        std::string cond = cur.Rest();
        cond = cond.substr(0, cond.find(';'));
        if (cond.empty()) return false;
        choice->condition = cond.substr(0, kConditionChars);
    }
    return true;
}

// Body line and the one or two lines that belong to it; `i` ends on the last
// line consumed.
bool ParseBodyLines(const std::vector<std::string>& lines, size_t* i, ChipConfig* cfg) {
    Cursor cur(lines[*i]);
    std::string name;
    if (!cur.Quoted(kBodyNameChars, &name)) return false;
    cfg->bodyName = UpperAscii(name);
    uint32_t* v = cfg->bodyValues;
    if (!cur.CommaNumber(&v[0]) || !cur.CommaNumber(&v[1])) return false;
    if (cur.Take(',')) {
        if (!cur.Number(&v[2])) return false;
        if (++*i >= lines.size()) return false;
        Cursor next(lines[*i]);
        if (StartsWithQuoted("VOICE", false, &next))
            return next.CommaNumber(&v[4]) && next.CommaNumber(&v[5]);
        return true;  // whatever stands here is passed over
    }
    if (++*i >= lines.size()) return false;
    Cursor opt(lines[*i]);
    if (!StartsWithQuoted("option", true, &opt)) return false;
    if (!opt.CommaNumber(&v[2]) || !opt.CommaNumber(&v[3])) return false;
    if (*i + 1 < lines.size()) {
        ++*i;
        Cursor voice(lines[*i]);
        if (StartsWithQuoted("voice", true, &voice))
            return voice.CommaNumber(&v[4]) && voice.CommaNumber(&v[5]);
    }
    return true;
}

bool ParseBody(const std::vector<std::string>& lines, size_t i, ChipConfig* cfg) {
    // Section head.
    for (;; ++i) {
        if (i >= lines.size()) return false;
        const std::string& l = lines[i];
        const size_t p = l.find_first_not_of(" \t");
        if (p != std::string::npos && l[p] == '[' && l.size() >= p + 6 && l[p + 5] == ']' &&
            EqualsNoCase(l.substr(p + 1, 4), "BODY"))
            break;
    }
    for (++i;; ++i) {
        if (i >= lines.size() || (!lines[i].empty() && lines[i][0] == '[')) return false;
        if (!lines[i].empty() && lines[i][0] == '\'') break;
    }
    if (!ParseBodyLines(lines, &i, cfg)) return false;

    for (++i; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (!l.empty() && l[0] == '[') break;
        if (l.empty() || l[0] != '\'') continue;
        ConfigItem item;
        Cursor cur(l);
        uint32_t mask = 0;
        uint32_t count = 0;
        if (!cur.Quoted(kItemNameChars, &item.name) || !cur.CommaNumber(&item.address) ||
            !cur.CommaNumber(&mask) || !cur.Take(',') || !cur.Word(kItemNameChars, &item.kind) ||
            !cur.CommaNumber(&count))
            return false;
        item.name = RewritePercent(item.name);
        item.mask = static_cast<uint16_t>(mask);
        const bool internal = EqualsNoCase(item.kind, "INTERNAL_ITEM");
        // The count is a signed number in the file format: "0 or less" means none.
        const int32_t wanted = static_cast<int32_t>(count);
        for (int32_t got = 0; got < wanted;) {
            if (++i >= lines.size()) return false;
            ItemChoice choice;
            bool comment = false;
            if (!ParseChoice(lines[i], internal, &comment, &choice)) return false;
            if (comment) continue;
            item.choices.push_back(std::move(choice));
            ++got;
        }
        cfg->items.push_back(std::move(item));
    }
    return true;
}

// The Version line: its index in `*line`; false when there is no usable one.
bool ParseVersion(const std::vector<std::string>& lines, size_t* line, uint32_t* type) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const size_t p = l.find_first_not_of(" \t");
        if (p == std::string::npos || l[p] != '[') continue;
        const size_t close = l.find(']', p + 1);
        if (close == std::string::npos || !EqualsNoCase(l.substr(p + 1, close - p - 1), "Version"))
            continue;
        *line = i;
        Cursor cur(l, close + 1);
        cur.SkipBlanks();
        const size_t start = cur.Pos();
        size_t end = start;
        while (end < l.size() && !IsBlank(l[end]) && l[end] != ',') ++end;
        const std::string token = l.substr(start, std::min<size_t>(end - start, 9));
        int major = 0;
        int minor = 0;
        if (std::sscanf(token.c_str(), "%d.%d", &major, &minor) != 2) return false;
        cur.SetPos(end);
        const bool comma = cur.Take(',');
        cur.SkipBlanks();
        const std::string rest = cur.Rest();
        char* stop = nullptr;
        const long long t = std::strtoll(rest.c_str(), &stop, 0);
        if (stop == rest.c_str() || rest.empty() || IsBlank(rest[0])) {
            if (comma) return false;
            *type = 2;
        } else {
            *type = static_cast<uint32_t>(t);
        }
        return true;
    }
    return false;
}

bool Compare(const ChipConfig& cfg, const std::string& name, const std::string& op,
             uint32_t number) {
    for (const ConfigItem& item : cfg.items) {
        if (item.kind != "NON_IO_ITEM" || !EqualsNoCase(item.name, name.c_str())) continue;
        const uint32_t v = item.value;
        if (op == "=") return v == number;
        if (op == "!=") return v != number;
        if (op == ">") return v > number;
        if (op == ">=") return v >= number;
        if (op == "<") return v < number;
        return v <= number;
    }
    return false;
}

// Blanks, tabs and at most one comma between the parts of a condition.
bool SkipSeparators(const std::string& s, size_t* pos) {
    const size_t start = *pos;
    bool comma = false;
    while (*pos < s.size()) {
        const char c = s[*pos];
        if (IsBlank(c)) {
            ++*pos;
        } else if (c == ',' && !comma) {
            comma = true;
            ++*pos;
        } else {
            break;
        }
    }
    return *pos > start;
}

std::string NextToken(const std::string& s, size_t* pos) {
    const size_t start = *pos;
    while (*pos < s.size() && !IsBlank(s[*pos]) && s[*pos] != ',') ++*pos;
    return s.substr(start, *pos - start);
}

}  // namespace

bool ParseConfigNumber(const std::string& s, size_t* pos, uint32_t* value) {
    size_t p = *pos;
    while (p < s.size() && IsBlank(s[p])) ++p;
    const size_t start = p;
    while (p < s.size() && std::isxdigit(static_cast<unsigned char>(s[p]))) ++p;
    std::string run = s.substr(start, p - start);
    const char after = p < s.size() ? s[p] : '\0';
    unsigned base = 10;
    if (after == 'H' || after == 'h') {
        base = 16;
        ++p;
    } else if (!run.empty() && (run.back() == 'B' || run.back() == 'b')) {
        base = 2;
        run.pop_back();
    } else if (after == 'O' || after == 'o') {
        base = 8;
        ++p;
    }
    if (run.size() > 20) return false;
    uint64_t v = 0;
    for (char c : run) {
        const int d = HexDigitValue(c);
        if (d < 0 || d >= static_cast<int>(base)) return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    *value = static_cast<uint32_t>(v);
    *pos = p;
    return true;
}

std::string RewritePercent(std::string name) {
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
        for (size_t k = i; k + 1 < j; ++k) name[k] = name[k + 1];
        name[j - 1] = '-';
        i = j - 1;
    }
    return name;
}

std::vector<std::string> SplitConfigLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
            continue;
        }
        if (cur.size() == kLineChars) {
            lines.push_back(cur);
            cur.clear();
        }
        cur.push_back(c);
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

bool HasNoPluginLine(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) {
        const size_t p = l.find_first_not_of(' ');
        if (p == std::string::npos) continue;
        const std::string word = UpperAscii(l.substr(p, l.find(' ', p) - p));
        if (word.compare(0, 8, "OTPNODLL") == 0) return true;
    }
    return false;
}

ConfigStatus ParseConfigLines(const std::vector<std::string>& lines, ChipConfig* cfg) {
    size_t versionLine = 0;
    if (!ParseVersion(lines, &versionLine, &cfg->versionType)) return ConfigStatus::kNoVersion;
    if (cfg->versionType != 1 && cfg->versionType != 4) return ConfigStatus::kBadVersionType;
    if (!ParseBody(lines, versionLine + 1, cfg)) return ConfigStatus::kBadBody;
    return ConfigStatus::kOk;
}

bool EvaluateCondition(const ChipConfig& cfg, const std::string& cond) {
    bool anyOr = false;  // OR of the finished AND groups
    bool group = true;   // the AND group being built
    int comparisons = 0;
    size_t pos = 0;
    for (;;) {
        if (++comparisons > kMaxComparisons) return false;
        while (pos < cond.size() && IsBlank(cond[pos])) ++pos;
        if (pos >= cond.size() || cond[pos] != '\'') return false;
        const size_t close = cond.find('\'', pos + 1);
        if (close == std::string::npos) return false;
        const std::string name = cond.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        SkipSeparators(cond, &pos);
        const std::string op = NextToken(cond, &pos).substr(0, 2);
        if (op != "=" && op != "!=" && op != ">" && op != ">=" && op != "<" && op != "<=")
            return false;
        if (!SkipSeparators(cond, &pos)) return false;
        uint32_t number = 0;
        if (!ParseConfigNumber(cond, &pos, &number)) return false;
        group = group && Compare(cfg, name, op, number);
        SkipSeparators(cond, &pos);
        const std::string connector = NextToken(cond, &pos);
        if (connector.empty()) {
            // Anything left that is not a token (a second comma) is malformed.
            if (pos < cond.size()) return false;
            return anyOr || group;
        }
        if (EqualsNoCase(connector, "OR")) {
            anyOr = anyOr || group;
            group = true;
        } else if (!EqualsNoCase(connector, "AND")) {
            return false;
        }
        SkipSeparators(cond, &pos);
    }
}

void ComputeItemValues(ChipConfig* cfg, OptionSource* src) {
    if (src->kind == SourceKind::kOtp && src->optionData) {
        std::vector<uint8_t>& data = *src->optionData;
        for (const ConfigItem& item : cfg->items) {
            if (item.kind != "IO2_ITEM") continue;
            const uint64_t a = item.address;
            const uint8_t moved = src->OptionByte(a + 2);
            if (a + 1 < data.size()) data[a + 1] = moved;
            if (a + 2 < data.size()) data[a + 2] = 0;
        }
    }
    for (ConfigItem& item : cfg->items) {
        if (item.kind != "NON_IO_ITEM" && item.kind != "IO_ITEM" && item.kind != "IO2_ITEM")
            continue;
        const uint64_t a = item.address;
        const uint16_t word =
            static_cast<uint16_t>(src->OptionByte(a) | (src->OptionByte(a + 1) << 8));
        item.value = static_cast<uint16_t>(word & item.mask);
    }
}

void ApplyByteRule(ChipConfig* cfg, const std::vector<uint8_t>& image) {
    for (ConfigItem& item : cfg->items) {
        const uint8_t b = item.address < image.size() ? image[item.address] : 0;
        item.value = static_cast<uint16_t>(b & item.mask);
    }
}

bool LoadChipConfig(const std::string& cfgPath, ChipConfig* cfg, OptDumpHost& host) {
    const std::string tmp = host.CreateTempFile("~cfg");
    if (tmp.empty()) {
        host.ShowMessage(4, "");
        return false;
    }
    struct Remover {
        OptDumpHost& host;
        const std::string& path;
        ~Remover() { host.DeleteFile(path); }
    } remover{host, tmp};

    if (!UnscrambleConfig(cfgPath, tmp)) {
        host.ShowMessage(4, "");
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(tmp, bytes, PathCoding::Ansi)) {
        host.ShowMessage(1, tmp);
        return false;
    }
    const std::vector<std::string> lines =
        SplitConfigLines(std::string(bytes.begin(), bytes.end()));

    if (HasNoPluginLine(lines)) {
        cfg->noMaskPlugin = true;
    } else {
        const size_t dot = cfgPath.rfind('.');
        const std::string plugin =
            (dot == std::string::npos ? cfgPath + "." : cfgPath.substr(0, dot + 1)) + "DLL";
        cfg->noMaskPlugin = !host.FileExists(plugin);
    }

    switch (ParseConfigLines(lines, cfg)) {
        case ConfigStatus::kOk:
            return true;
        case ConfigStatus::kNoVersion:
            host.ShowMessage(5, tmp);
            return false;
        case ConfigStatus::kBadVersionType:
            host.ShowMessage(6, "");
            return false;
        case ConfigStatus::kBadBody:
            host.ShowMessage(7, "");
            return false;
    }
    return false;
}
