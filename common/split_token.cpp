#include "common/split_token.h"

namespace {
const char kWhite[] = " \t\r\n\v\f";
}

std::string TrimWhite(const std::string& s) {
    const size_t b = s.find_first_not_of(kWhite);
    if (b == std::string::npos) return std::string();
    const size_t e = s.find_last_not_of(kWhite);
    return s.substr(b, e - b + 1);
}

std::string SplitToken(std::string& text, char sep) {
    text = TrimWhite(text);
    size_t p = text.find(sep);
    if (sep == ' ') p = std::min(p, text.find('\t'));
    if (p == std::string::npos) {
        std::string token;
        token.swap(text);
        return token;
    }
    std::string token = text.substr(0, p);
    token.erase(token.find_last_not_of(kWhite) + 1);
    if (p + 1 >= text.size()) {
        text.clear();
    } else {
        const size_t b = text.find_first_not_of(kWhite, p + 1);
        text = b == std::string::npos ? std::string() : text.substr(b);
    }
    return token;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string JoinLines(const std::string& text, const std::string& separator) {
    std::string joined;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = TrimWhite(text.substr(start, end - start));
        if (!line.empty()) joined += (joined.empty() ? "" : separator) + line;
        start = end + 1;
    }
    return joined;
}
