#pragma once
// Test double of the option library's platform, and builders of image files.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "optdump/cfg_scramble.h"
#include "optdump/dump_host.h"

class FakeDumpHost : public OptDumpHost {
  public:
    FakeDumpHost() {
        char tmpl[] = "/tmp/optdump_testXXXXXX";
        dir = mkdtemp(tmpl);
        dir += "/";
    }
    ~FakeDumpHost() override {
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
    }

    void ShowMessage(int id, const std::string& arg) override {
        messages.push_back(FormatMessageText(EnglishMessage(id), arg));
        ids.push_back(id);
    }
    void ShowLiteral(const std::string& text) override {
        messages.push_back(text);
        ids.push_back(0);
    }
    std::string LibraryDir() override { return dir; }
    std::string CreateTempFile(const char* prefix) override {
        if (failTemp) return "";
        std::string path = dir + prefix + "XXXXXX";
        const int fd = mkstemp(&path[0]);
        if (fd < 0) return "";
        close(fd);
        temps.push_back(path);
        return path;
    }
    void DeleteFile(const std::string& path) override { unlink(path.c_str()); }
    bool FileExists(const std::string& path) override { return access(path.c_str(), F_OK) == 0; }
    PluginResult RunMaskPlugin(const std::string& path, uint8_t* options,
                               std::string* text) override {
        pluginPath = path;
        if (pluginResult == PluginResult::kText) {
            pluginBytes.assign(options, options + 16);
            *text = pluginText;
        }
        return pluginResult;
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = dir + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    std::string WriteConfig(const std::string& body, const std::string& text) const {
        return Write(body + ".CFG", ScrambleText(text));
    }

    std::string dir;
    std::vector<std::string> messages;
    std::vector<int> ids;
    std::vector<std::string> temps;
    bool failTemp = false;
    PluginResult pluginResult = PluginResult::kNotLoadable;
    std::string pluginText;
    std::string pluginPath;
    std::vector<uint8_t> pluginBytes;
};

// Builds an .otp file record by record, each with a correct check byte.
class OtpBuilder {
  public:
    OtpBuilder& Record(uint8_t type, const std::vector<uint8_t>& body) {
        const size_t L = body.size() + 1;
        std::vector<uint8_t> r = {type, static_cast<uint8_t>(L), static_cast<uint8_t>(L >> 8)};
        r.insert(r.end(), body.begin(), body.end());
        uint8_t sum = 0;
        for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
        r.push_back(static_cast<uint8_t>(-sum));
        bytes.insert(bytes.end(), r.begin(), r.end());
        return *this;
    }
    // Layout-1 header of an 0xAD body naming `optWords` option words.
    OtpBuilder& Header(uint16_t pid, uint16_t optWords) {
        const uint32_t k = pid == 0xD6 ? 0x80010 : 0x8010;
        std::vector<uint8_t> b;
        Put16(&b, pid);
        Put16(&b, 1);
        const uint16_t values[] = {pid, 0x12, 0x1000, 0, optWords};
        for (uint32_t i = 0; i < 5; ++i) {
            Put32(&b, k + i);
            Put16(&b, 0x3FFF);
            Put16(&b, values[i]);
        }
        return Record(0xC0, b);
    }
    OtpBuilder& Data(uint32_t addr, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> b;
        Put32(&b, addr);
        b.insert(b.end(), data.begin(), data.end());
        return Record(0x65, b);
    }
    static void Put16(std::vector<uint8_t>* b, uint16_t v) {
        b->push_back(static_cast<uint8_t>(v));
        b->push_back(static_cast<uint8_t>(v >> 8));
    }
    static void Put32(std::vector<uint8_t>* b, uint32_t v) {
        Put16(b, static_cast<uint16_t>(v));
        Put16(b, static_cast<uint16_t>(v >> 16));
    }
    std::vector<uint8_t> bytes;
};

// Builds a .cod file: header, section table, then the sections in order.
struct CodSection {
    uint16_t type;
    std::vector<uint8_t> data;
};

inline std::vector<uint8_t> BuildCod(const std::string& body, uint8_t major, uint8_t minorPack,
                                     const std::vector<CodSection>& sections) {
    const size_t H = 32 + 10 * sections.size();
    std::vector<uint8_t> f(H, 0);
    f[0] = 'C';
    f[1] = 'D';
    f[2] = static_cast<uint8_t>(H);
    f[3] = static_cast<uint8_t>(H >> 8);
    f[4] = major;
    f[5] = minorPack;
    for (size_t i = 0; i < body.size() && i < 10; ++i) f[6 + i] = static_cast<uint8_t>(body[i]);
    for (size_t s = 0; s < sections.size(); ++s) {
        std::vector<uint8_t> e;
        OtpBuilder::Put16(&e, sections[s].type);
        OtpBuilder::Put32(&e, static_cast<uint32_t>(sections[s].data.size()));
        OtpBuilder::Put32(&e, static_cast<uint32_t>(f.size()));
        std::copy(e.begin(), e.end(), f.begin() + 32 + 10 * s);
        f.insert(f.end(), sections[s].data.begin(), sections[s].data.end());
    }
    uint16_t sum = 0;
    for (size_t i = 0; i < f.size(); ++i)
        if (i != 16 && i != 17) sum = static_cast<uint16_t>(sum + f[i]);
    f[16] = static_cast<uint8_t>(sum);
    f[17] = static_cast<uint8_t>(sum >> 8);
    return f;
}
