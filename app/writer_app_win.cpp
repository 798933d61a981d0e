#include <windows.h>

// Start-up comes with the application shell; until then the program says so.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    MessageBoxW(nullptr, L"This build has no main window yet.", L"Pyrograph", MB_OK);
    return 1;
}
