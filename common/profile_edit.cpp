#include "common/profile_edit.h"

namespace {
template <class Ch>
bool IsBlank(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A;
}

template <class Ch>
Ch LowerAscii(Ch c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Ch>(c - 'A' + 'a') : c;
}

template <class Str>
Str Units(const std::string& s) {
    Str out;
    for (char c : s)
        out.push_back(static_cast<typename Str::value_type>(static_cast<unsigned char>(c)));
    return out;
}

template <class Str>
bool SameName(const Str& text, size_t b, size_t e, const Str& name) {
    if (e - b != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (LowerAscii(text[b + i]) != LowerAscii(name[i])) return false;
    return true;
}

// The line end the file already uses; a file without one gets the system's.
template <class Str>
Str LineEnd(const Str& text, size_t start) {
    const size_t nl = text.find('\n', start);
    if (nl != Str::npos && (nl == start || text[nl - 1] != '\r')) return Units<Str>("\n");
    return Units<Str>("\r\n");
}

// The edit on text units from `start` on (past any byte-order mark), with the
// line rules of the profile functions: a section name is everything between
// '[' and the line's last ']'; a key name is trimmed of blanks; a line with
// no '=' is a key without a value; ';' starts a comment line.
template <class Str>
void EditText(Str& text, size_t start, const std::string& section, const std::string& key,
              const std::string& value) {
    const Str sectionName = Units<Str>(section), keyName = Units<Str>(key);
    const Str eol = LineEnd(text, start);
    bool inSection = false, found = false;
    size_t insertAt = 0;
    bool lastLineOpen = false;  // the line to insert after has no line end
    for (size_t pos = start; pos < text.size();) {
        const size_t nl = text.find('\n', pos);
        const size_t lineEnd = nl == Str::npos ? text.size() : nl;
        const size_t next = nl == Str::npos ? text.size() : nl + 1;
        size_t end = lineEnd;
        while (end > pos && IsBlank(text[end - 1])) --end;
        size_t b = pos;
        while (b < end && IsBlank(text[b])) ++b;
        const size_t close = b < end && text[b] == '[' ? text.rfind(']', end - 1) : Str::npos;
        if (close != Str::npos && close > b) {
            if (inSection) break;
            // The name is all between the brackets, blanks included.
            if (!found && SameName(text, b + 1, close, sectionName)) {
                inSection = found = true;
                insertAt = next;
                lastLineOpen = nl == Str::npos;
            }
        } else if (inSection && b < end && text[b] != ';') {
            size_t eq = text.find('=', b);
            if (eq >= end) eq = Str::npos;
            size_t ke = eq == Str::npos ? end : eq;
            while (ke > b && IsBlank(text[ke - 1])) --ke;
            if (SameName(text, b, ke, keyName)) {
                if (eq == Str::npos) {
                    text.replace(ke, end - ke, Units<Str>("=" + value));
                } else {
                    size_t vb = eq + 1;
                    while (vb < end && IsBlank(text[vb])) ++vb;
                    text.replace(vb, end - vb, Units<Str>(value));
                }
                return;
            }
            insertAt = next;
            lastLineOpen = nl == Str::npos;
        }
        pos = next;
    }
    const Str entry = Units<Str>(key + "=" + value);
    if (found) {
        text.insert(insertAt, lastLineOpen ? eol + entry : entry + eol);
        return;
    }
    const Str header = Units<Str>("[" + section + "]");
    // A file that ends without a line end keeps ending that way.
    if (text.size() > start && text.back() != '\n')
        text += eol + header + eol + entry;
    else
        text += header + eol + entry + eol;
}
}  // namespace

void SetProfileValue(std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    const auto byte = [&file](size_t i) { return static_cast<unsigned char>(file[i]); };
    if (file.size() >= 2 &&
        ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool bigEndian = byte(0) == 0xFE;
        std::u16string text;
        for (size_t i = 0; i + 1 < file.size(); i += 2) {
            const unsigned first = byte(i), second = byte(i + 1);
            text.push_back(
                static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
        }
        EditText(text, 1, section, key, value);
        std::string out;
        out.reserve(2 * text.size() + 1);
        for (char16_t c : text) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            out.push_back(bigEndian ? hi : lo);
            out.push_back(bigEndian ? lo : hi);
        }
        if (file.size() % 2 != 0) out.push_back(file.back());
        file.swap(out);
        return;
    }
    const bool utf8Bom = file.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF;
    EditText(file, utf8Bom ? 3 : 0, section, key, value);
}
