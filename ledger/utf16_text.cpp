#include "ledger/utf16_text.h"

#include <cstdint>

std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        uint32_t min = 0;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b < 0xE0) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b < 0xF0) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b < 0xF5) {
            len = 4, cp = b & 0x07, min = 0x10000;
        }
        if (len > 1) {
            size_t k = 1;
            for (; k < len && i + k < n; ++k) {
                const auto c = static_cast<unsigned char>(utf8[i + k]);
                if ((c & 0xC0) != 0x80) break;
                cp = (cp << 6) | (c & 0x3F);
            }
            if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
                cp = 0xFFFD;
                len = k;  // resynchronise on the byte that broke the sequence
            }
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;  // a lone surrogate
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
