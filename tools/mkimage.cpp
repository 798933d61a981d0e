// Writes sample images for demos and tests, and describes an image the way
// the Open command loads it:
//   mkimage -o out.otp --pid AD --oid 1F2 --rom 2000 [--options 3FFF,0012]
//           [--fill ramp|random|HHHH] [--seed N] [--header auto|entries|layout0|40f0]
//   mkimage --info FILE [--ini SETTINGS]
// Numbers are hexadecimal, as in the settings file's body lines. "auto" writes
// the header the program itself writes for the PID's family; the other forms
// make test images of one header form ("entries" at the family's base, or at
// 0x80010 for a family that has none).
// An output path with a raw voice extension (.R03 .. .R36) gets the ROM
// words alone, low byte first.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/ini_profile.h"
#include "common/file_io.h"
#include "common/memory_profile.h"
#include "common/split_token.h"
#include "core/session.h"
#include "image/open_image.h"
#include "image/otp_file.h"
#include "image/voice_image.h"

namespace {

// Loads without a window: messages are kept for printing, boxes go to stderr.
class ConsoleHost : public Reporter {
  public:
    // The settings file is read as it is; what a load writes (the body name)
    // stays in memory, so describing an image never changes the file.
    explicit ConsoleHost(const std::string& iniPath) : file_(iniPath), profile_(&file_) {}
    void Report(const Event& e) override {
        if (e.kind == Event::Kind::kText && e.slot == Slot::kMessage) message_ = e.text;
        if (e.kind == Event::Kind::kAppend) message_ += e.text;
        if (e.kind == Event::Kind::kBox) std::fprintf(stderr, "%s\n", e.text.c_str());
    }
    bool Ask(const std::string&) override { return false; }

    Session& session() { return session_; }
    const std::string& message() const { return message_; }

  private:
    IniProfile file_;
    MemoryProfile profile_;
    NoPort port_;
    Session session_{profile_, *this, port_};
    std::string message_;
};

// --info: loads an image as the Open command would and describes it.
int Info(const std::string& path, const std::string& ini) {
    ConsoleHost host(ini);
    const bool ok = host.session().OpenImage(path).Passed();
    const PcBuffer& buf = host.session().Buffer();
    std::string text = host.message();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!ok) {
        std::printf("%s: failed: %s\n", path.c_str(), text.c_str());
        return 1;
    }
    std::printf("%s: body %s, PID %Xh, OID %Xh, ROM words %Xh, option words %Xh, checksum %s\n",
                path.c_str(), host.session().SelectedBody()->szName, buf.m_wPID, buf.m_wOID,
                buf.m_nBinWords, buf.m_wOptWords, FormatChecksum(BufferChecksum(buf)).c_str());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mkimage -o FILE --pid HEX --oid HEX --rom HEXWORDS\n"
                 "               [--options HEX,HEX,...] [--fill ramp|random|HEX] [--seed N]\n"
                 "               [--header auto|entries|layout0|40f0]\n"
                 "       mkimage --info FILE [--ini SETTINGS]\n");
    return 2;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = OpenFileUtf8(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ParseHex(const char* text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (!*text || *end || v > 0xFFFFFFFFul) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, fill = "ramp", options, form = "auto", info, ini = "Larkspur.ini";
    uint32_t pid = 0, oid = 0, rom = 0, seed = 1;
    bool havePid = false, haveOid = false, haveRom = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* val = argv[++i];
        bool ok = true;
        if (arg == "-o") {
            out = val;
        } else if (arg == "--pid") {
            ok = havePid = ParseHex(val, pid);
        } else if (arg == "--oid") {
            ok = haveOid = ParseHex(val, oid);
        } else if (arg == "--rom") {
            ok = haveRom = ParseHex(val, rom);
        } else if (arg == "--options") {
            options = val;
        } else if (arg == "--fill") {
            fill = val;
        } else if (arg == "--info") {
            info = val;
        } else if (arg == "--ini") {
            ini = val;
        } else if (arg == "--header") {
            form = val;
            ok = form == "auto" || form == "entries" || form == "layout0" || form == "40f0";
        } else if (arg == "--seed") {
            seed = static_cast<uint32_t>(std::strtoul(val, nullptr, 10));
        } else {
            ok = false;
        }
        if (!ok) return Usage();
    }
    if (!info.empty()) return Info(info, ini);
    if (out.empty() || !havePid || !haveOid || !haveRom || pid > 0xFFFF || rom > 0x10000000)
        return Usage();

    PcBuffer buf;
    std::vector<uint16_t> words(rom);
    uint32_t constant = 0;
    const bool isConst = fill != "ramp" && fill != "random";
    if (isConst && (!ParseHex(fill.c_str(), constant) || constant > 0xFFFF)) return Usage();
    uint32_t state = seed ? seed : 1;
    for (size_t i = 0; i < words.size(); ++i) {
        if (fill == "ramp") {
            words[i] = static_cast<uint16_t>(i);
        } else if (fill == "random") {
            state ^= state << 13;  // xorshift: repeatable for a given seed
            state ^= state >> 17;
            state ^= state << 5;
            words[i] = static_cast<uint16_t>(state);
        } else {
            words[i] = static_cast<uint16_t>(constant);
        }
    }
    buf.m_pBin = std::move(words);

    std::vector<uint16_t> opt;
    while (!options.empty()) {
        uint32_t v;
        const std::string token = SplitToken(options, ',');
        if (!ParseHex(token.c_str(), v) || v > 0xFFFF) return Usage();
        opt.push_back(static_cast<uint16_t>(v));
    }
    if (opt.size() > 0x7FFD) return Usage();
    if (!opt.empty()) buf.m_pOpt = opt;

    BodyRecord body;
    body.nPID = pid;
    body.nOID = oid;
    body.nRomWords = rom;
    body.wOptWords = static_cast<uint16_t>(opt.size());
    body.dwOptAddr = FamilyOf(pid).optionBase;

    const VoiceKind* voice = FindVoiceKind(out);
    if (voice && voice->format == kVoiceRawWords) {
        std::vector<uint8_t> bytes;
        for (uint16_t w : *buf.m_pBin) AppendLe16(bytes, w);
        if (!WriteBytes(out, bytes)) return 1;
        std::printf("%s: %zu voice words\n", out.c_str(), buf.m_pBin->size());
        return 0;
    }

    const OtpHeader header = OtpHeaderOfBody(body);
    OtpHeaderForm headerForm = WrittenOtpHeaderForm(header);
    if (form == "auto") {
        form = headerForm == OtpHeaderForm::Entries ? "entries"
               : headerForm == OtpHeaderForm::Fixed ? "layout0"
                                                    : "40f0";
    } else if (form == "entries") {
        headerForm = OtpHeaderForm::Entries;
    } else if (form == "layout0") {
        headerForm = OtpHeaderForm::Fixed;
    } else {
        headerForm = OtpHeaderForm::SizeCode;
        if (!OtpHeaderFits(header, headerForm)) {
            std::fprintf(stderr, "mkimage: the 40f0 header cannot describe these sizes\n");
            return 2;
        }
    }
    if (!WriteBytes(out, BuildOtpImage(buf, body, headerForm))) return 1;
    if (form == "entries")
        std::printf("%s: %s", out.c_str(), FilePidLine(header.pid, header.oid).c_str());
    else
        std::printf("%s: PID %Xh, OID %Xh, %s header\n", out.c_str(), pid, oid, form.c_str());
    return 0;
}
