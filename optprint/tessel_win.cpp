#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxW(nullptr, L"Printing is not available in this build.", L"Tessel Windows Application",
                MB_OK);
    return 1;
}
