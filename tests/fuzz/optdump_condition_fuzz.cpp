// Choice conditions over a small set of setting items.
#include <cstddef>
#include <cstdint>
#include <string>

#include "optdump/chip_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    ChipConfig cfg;
    const char* names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        ConfigItem item;
        item.name = names[i];
        item.kind = i == 2 ? "IO_ITEM" : "NON_IO_ITEM";
        item.value = static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        cfg.items.push_back(item);
    }
    const std::string cond(reinterpret_cast<const char*>(data + 6), size - 6);
    const bool once = EvaluateCondition(cfg, cond);
    if (EvaluateCondition(cfg, cond) != once) __builtin_trap();
    return 0;
}
