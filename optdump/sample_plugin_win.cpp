#include <windows.h>

#include <cstdio>
#include <cstring>

// A mask-conversion plug-in for tests: describes the first two option bytes.
extern "C" __declspec(dllexport) HGLOBAL OTPToMask(unsigned char* options) {
    char text[160];
    const int n = std::snprintf(text, sizeof text,
                                "Mask option word 0 : %02X%02XH\r\n"
                                "-----------------------------------\r\n",
                                options[1], options[0]);
    const HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(n) + 1);
    if (!mem) return nullptr;
    if (void* p = GlobalLock(mem)) {
        std::memcpy(p, text, static_cast<size_t>(n) + 1);
        GlobalUnlock(mem);
    }
    return mem;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
