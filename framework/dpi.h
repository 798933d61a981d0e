#pragma once

namespace fw {

// Sizes in pixels are written for 96 DPI (100 %) and scaled to the DPI a
// window is shown at.
constexpr int kBaseDpi = 96;

// value * dpi / 96, rounded half away from zero as MulDiv does; a DPI that is
// not positive leaves the value as it is.
constexpr int ScaleForDpi(int value, int dpi) {
    if (dpi <= 0) return value;
    const long long product = static_cast<long long>(value) * dpi;
    const long long half = kBaseDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi
                                         : -((-product + half) / kBaseDpi));
}

}  // namespace fw
