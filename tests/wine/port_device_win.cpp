// Test helper: adds a device of the ports class with a COM port name, a
// friendly name and a hardware ID, as a serial driver's installation would;
// or removes every such device of a port. Wine has none of its own, so this
// is what `pyrocmd ports` can find through the device manager there. With an
// instance ID ("USB\VID_0403&PID_6001\A12345") the device stands for a USB
// adapter with that serial, and a location path can be given it.
//   port_device add COM4 "Friendly name" HWID [INSTANCE-ID [LOCATION]]
//   port_device remove COM4
#include <windows.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

// The import library has it; the MinGW headers do not declare it.
extern "C" WINBOOL WINAPI SetupDiSetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                    const DEVPROPKEY* key, DEVPROPTYPE type,
                                                    const BYTE* data, DWORD size, DWORD flags);

namespace {

const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

const DEVPROPKEY kLocationPaths = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 37};

bool SetText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& text,
             bool multi) {
    std::wstring data = text + L'\0';
    if (multi) data += L'\0';
    return SetupDiSetDeviceRegistryPropertyW(set, &device, property,
                                             reinterpret_cast<const BYTE*>(data.c_str()),
                                             static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

int Fail(const char* what) {
    std::fprintf(stderr, "port_device: %s failed: error %lu\n", what, GetLastError());
    return 1;
}

int Add(const wchar_t* port, const wchar_t* friendly, const wchar_t* hardwareId,
        const wchar_t* instanceId, const wchar_t* location) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoW(set, instanceId ? instanceId : L"PORTS", &kPortsClass, nullptr,
                                  nullptr, instanceId ? 0 : DICD_GENERATE_ID, &device))
        return Fail("SetupDiCreateDeviceInfo");
    if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr))
        return Fail("SetupDiRegisterDeviceInfo");
    if (!SetText(set, device, SPDRP_HARDWAREID, hardwareId, true)) return Fail("hardware ID");
    if (!SetText(set, device, SPDRP_FRIENDLYNAME, friendly, false)) return Fail("friendly name");
    if (location) {
        const std::wstring paths = std::wstring(location) + L'\0' + L'\0';
        if (!SetupDiSetDevicePropertyW(set, &device, &kLocationPaths, DEVPROP_TYPE_STRING_LIST,
                                       reinterpret_cast<const BYTE*>(paths.c_str()),
                                       static_cast<DWORD>(paths.size() * sizeof(wchar_t)), 0))
            return Fail("location paths");
    }
    HKEY key =
        SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDevRegKey");
    const LONG r = RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                                  static_cast<DWORD>((wcslen(port) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(set);
    if (r != ERROR_SUCCESS) return Fail("PortName");
    return 0;
}

int Remove(const wchar_t* port) {
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiGetClassDevs");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t name[64] = {};
        DWORD size = sizeof name - sizeof(wchar_t);
        const bool match =
            RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                             &size) == ERROR_SUCCESS &&
            _wcsicmp(name, port) == 0;
        RegCloseKey(key);
        if (match && !SetupDiRemoveDevice(set, &device)) return Fail("SetupDiRemoveDevice");
    }
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 5 && argc <= 7 && wcscmp(argv[1], L"add") == 0)
        return Add(argv[2], argv[3], argv[4], argc > 5 ? argv[5] : nullptr,
                   argc > 6 ? argv[6] : nullptr);
    if (argc == 3 && wcscmp(argv[1], L"remove") == 0) return Remove(argv[2]);
    std::fprintf(stderr,
                 "usage: port_device add COMn NAME HWID [INSTANCE-ID [LOCATION]] | remove COMn\n");
    return 2;
}
