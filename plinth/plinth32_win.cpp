#include <windows.h>

#include <cstring>

#include "plinth/plinth32.h"
#include "plinth/plinth_rules.h"

namespace {
PlinthInfo g_last;
}

extern "C" void* QueryOID(uint32_t pid, const uint8_t* rest, uint32_t count) {
    return DecodeProjectHeader(pid, rest, count, &g_last) ? &g_last : nullptr;
}

extern "C" int GetOIDINFO(void* handle, void* info) {
    if (!handle || !info) return 0;
    std::memcpy(info, handle, sizeof(PlinthInfo));
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
