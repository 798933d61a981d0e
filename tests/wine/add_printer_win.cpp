// Installs a test printer in the Wine prefix: Wine's PostScript driver with the
// given PPD, on port LPT1:, made the default printer. The tests send LPT1: to
// a file through the registry, so a printed page lands on disk. The driver is
// added for the environment of this build: a 32-bit program gets no paper
// sizes from a driver only the 64-bit side has, so the x86 tests run the x86
// build of this program as well.
// Usage: add_printer NAME PPD-PATH
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Widen(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: add_printer NAME PPD-PATH\n");
        return 2;
    }
    std::wstring name = Widen(argv[1]);
    std::wstring ppd = Widen(argv[2]);
    wchar_t driverFile[] = L"wineps.drv";
    wchar_t dataType[] = L"RAW";
    wchar_t port[] = L"LPT1:";
    wchar_t processor[] = L"WinPrint";
    std::wstring environment = sizeof(void*) == 4 ? L"Windows NT x86" : L"Windows x64";

    DRIVER_INFO_3W di{};
    di.cVersion = 3;
    di.pName = &name[0];
    di.pDriverPath = driverFile;
    di.pDataFile = &ppd[0];
    di.pConfigFile = driverFile;
    di.pDefaultDataType = dataType;
    di.pEnvironment = &environment[0];
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&di),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
        std::fprintf(stderr, "AddPrinterDriverEx failed: %lu\n", GetLastError());
        return 1;
    }

    PRINTER_INFO_2W pi{};
    pi.pPrinterName = &name[0];
    pi.pPortName = port;
    pi.pDriverName = &name[0];
    pi.pPrintProcessor = processor;
    pi.pDatatype = dataType;
    pi.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&pi));
    if (printer == nullptr && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
        std::fprintf(stderr, "AddPrinter failed: %lu\n", GetLastError());
        return 1;
    }
    if (printer != nullptr) ClosePrinter(printer);
    if (!SetDefaultPrinterW(name.c_str())) {
        std::fprintf(stderr, "SetDefaultPrinter failed: %lu\n", GetLastError());
        return 1;
    }
    std::printf("printer %s ready\n", argv[1]);
    return 0;
}
