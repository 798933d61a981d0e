// Stored or plain chip configuration text through the unscrambler, the
// grammar, the conditions and the report writers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "optdump/cfg_scramble.h"
#include "optdump/chip_config.h"
#include "optdump/option_report.h"
#include "optdump/option_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    std::string plain;
    if (!UnscrambleBytes(bytes, &plain)) plain.assign(bytes.begin(), bytes.end());
    const std::vector<std::string> lines = SplitConfigLines(plain);
    for (const std::string& l : lines)
        if (l.size() > kLineChars) __builtin_trap();
    HasNoPluginLine(lines);
    ChipConfig cfg;
    if (ParseConfigLines(lines, &cfg) != ConfigStatus::kOk) return 0;
    for (const ConfigItem& item : cfg.items) {
        if (item.name.size() > kItemNameChars) __builtin_trap();
        for (const ItemChoice& c : item.choices) {
            if (c.text.size() > kChoiceTextChars || c.condition.size() > kConditionChars)
                __builtin_trap();
        }
    }
    OptionSource src;
    src.kind = SourceKind::kOtp;
    src.optionData =
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min<size_t>(size, 64));
    ComputeItemValues(&cfg, &src);
    static char block[kReportBlockBytes];
    ReportText out(block);
    WriteOptionReport(out, src, cfg);
    if (out.Length() >= kReportBlockBytes) __builtin_trap();
    return 0;
}
