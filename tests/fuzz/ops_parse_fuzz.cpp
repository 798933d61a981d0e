// Writer replies and dialog texts come from outside: none of their readers may
// read past what they were given, and the dialog's result must match its rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/serial_number.h"
#include "writer/chip_operations.h"
#include "writer/driver_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParseDriverReadBack(data, size);
    const ChipInfo info = ParseChipInfo(data, size);
    FormatChipInfo(info, size > 0 && data[0] & 1 ? "X" : "");

    // Eight texts cut from the input at zero bytes.
    SerialDialogTexts t;
    std::string* fields[8] = {&t.addr[0], &t.addr[1], &t.addr[2], &t.addr[3],
                              &t.data[0], &t.data[1], &t.data[2], &t.data[3]};
    size_t f = 0;
    for (size_t i = 0; i < size && f < 8; ++i) {
        if (data[i] == 0)
            ++f;
        else
            fields[f]->push_back(static_cast<char>(data[i]));
    }
    SerialDialogResult r;
    if (ValidateSerialDialog(t, r).empty()) {
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                if (r.nAddr[i] == r.nAddr[j]) std::abort();
    }
    return 0;
}
