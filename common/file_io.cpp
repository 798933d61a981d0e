#include "common/file_io.h"

#include <new>

#ifdef _WIN32
#include <wchar.h>
#endif

namespace {
#ifdef _WIN32
// Decodes UTF-8; malformed bytes become U+FFFD, so the open fails rather than
// reaching a different file.
std::wstring Widen(const std::string& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        size_t extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + extra >= s.size()) {  // sequence cut off by the end
            out.push_back(0xFFFD);
            break;
        }
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}
#endif
}  // namespace

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
#ifdef _WIN32
    const std::string m(mode);
    return _wfopen(Widen(path).c_str(), std::wstring(m.begin(), m.end()).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool RemoveFileUtf8(const std::string& path) {
#ifdef _WIN32
    return _wremove(Widen(path).c_str()) == 0;
#else
    return std::remove(path.c_str()) == 0;
#endif
}

std::FILE* OpenFile(const std::string& path, const char* mode, PathCoding coding) {
    return coding == PathCoding::Utf8 ? OpenFileUtf8(path, mode) : std::fopen(path.c_str(), mode);
}

std::vector<uint8_t> ReadRest(std::FILE* file) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    return bytes;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, PathCoding coding) {
    bytes.clear();
    std::FILE* file = OpenFile(path, "rb", coding);
    if (!file) return false;
    bool ok = false;
    try {
        bytes = ReadRest(file);
        ok = !std::ferror(file);
    } catch (const std::bad_alloc&) {
    }
    if (!ok) bytes.clear();
    std::fclose(file);
    return ok;
}

std::string ModuleFolder(const std::string& modulePath) {
    // Module paths always carry their folder; callers append a file name.
    const size_t cut = modulePath.find_last_of("\\/");
    return (cut == std::string::npos ? std::string() : modulePath.substr(0, cut)) + "\\";
}
