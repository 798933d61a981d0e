// The .otp, .cod and .opt readers over arbitrary bytes, then the report.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "optdump/chip_config.h"
#include "optdump/dump_host.h"
#include "optdump/option_report.h"
#include "optdump/option_source.h"

namespace {

class QuietHost : public OptDumpHost {
  public:
    void ShowMessage(int, const std::string&) override {}
    void ShowLiteral(const std::string&) override {}
    std::string LibraryDir() override { return ""; }
    std::string CreateTempFile(const char*) override { return ""; }
    void DeleteFile(const std::string&) override {}
    bool FileExists(const std::string&) override { return false; }
    PluginResult RunMaskPlugin(const std::string&, uint8_t*, std::string*) override {
        return PluginResult::kNotLoadable;
    }
};

ChipConfig SampleConfig() {
    ChipConfig cfg;
    const char* kinds[] = {"NON_IO_ITEM", "IO_ITEM", "IO2_ITEM", "IO2_ITEM"};
    const uint32_t addrs[] = {0, 1, 2, 0x3FF};
    for (int i = 0; i < 4; ++i) {
        ConfigItem item;
        item.name = "P" + std::to_string(i) + "-";
        item.kind = kinds[i];
        item.address = addrs[i];
        item.mask = 0xFFFF;
        for (uint16_t v : {0, 1, 0x100, 0x101}) {
            ItemChoice c;
            c.value = v;
            c.text = "t";
            item.choices.push_back(c);
        }
        cfg.items.push_back(item);
    }
    return cfg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    QuietHost host;
    OptionSource src;
    ChipConfig cfg = SampleConfig();
    const std::vector<uint8_t> file(data + 1, data + size);
    switch (data[0] % 3) {
        case 0:
            src.kind = SourceKind::kOtp;
            if (!ParseOtpBytes(file, &src, host)) return 0;
            if (src.optionData && src.optionData->size() > src.optionSize) __builtin_trap();
            ComputeItemValues(&cfg, &src);
            break;
        case 1:
            src.kind = SourceKind::kCod;
            if (!ParseCodBytes(file, "x.cod", &src, host)) return 0;
            for (const std::string& n : src.noteLines)
                if (n.size() > kNoteChars) __builtin_trap();
            ComputeItemValues(&cfg, &src);
            break;
        default: {
            src.kind = SourceKind::kOpt;
            std::vector<uint8_t> image;
            BuildOptImage(file, &image);
            if (image.size() != kOptImageBytes) __builtin_trap();
            ApplyByteRule(&cfg, image);
            break;
        }
    }
    static char block[kReportBlockBytes];
    ReportText out(block);
    WriteOptionReport(out, src, cfg);
    return 0;
}
