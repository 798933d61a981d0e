// The COM ports the system knows of, from its three sources: the serial-device
// map, the DOS device names and the device manager's ports.
#include <windows.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <vector>

#include "common/wide_text.h"
#include "writer/port_identity.h"
#include "writer/port_inventory.h"

namespace {

// Spelled out here so that no GUID library has to be linked.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// DEVPKEY_Device_LocationPaths, spelled out for the same reason.
const DEVPROPKEY kLocationPaths = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 37};

// A hub's chain of parents is short; this bounds a loop in a broken tree.
const int kMaxDeviceDepth = 16;

std::string ErrorText(const char* what, DWORD error) {
    return std::string(what) + ": error " + std::to_string(error);
}

// A value's text; REG_MULTI_SZ gives its first string. Empty when absent.
std::string TextOf(const std::vector<BYTE>& data, DWORD type) {
    if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ) return std::string();
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    size_t n = 0;
    // Not every writer of the registry ends its text with a zero.
    while (n < data.size() / sizeof(wchar_t) && text[n]) ++n;
    return Narrow(std::wstring(text, n));
}

void ReadDeviceMap(PortScan& scan) {
    HKEY key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                      KEY_QUERY_VALUE, &key);
    // No serial driver has started: the map is absent, not broken.
    if (opened == ERROR_FILE_NOT_FOUND) return;
    if (opened != ERROR_SUCCESS) {
        scan.failures.push_back(ErrorText("the serial-device map", static_cast<DWORD>(opened)));
        return;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameSize = ARRAYSIZE(name), type = 0;
        std::vector<BYTE> data(512);
        DWORD dataSize = static_cast<DWORD>(data.size());
        const LONG r =
            RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data.data(), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_MORE_DATA) continue;  // no port name is that long
        if (r != ERROR_SUCCESS) {
            scan.failures.push_back(ErrorText("the serial-device map", static_cast<DWORD>(r)));
            break;
        }
        data.resize(dataSize);
        PortSighting s;
        s.strName = TextOf(data, type);
        s.source = kPortFromDeviceMap;
        scan.sightings.push_back(s);
    }
    RegCloseKey(key);
}

void ReadDosDevices(PortScan& scan) {
    std::vector<wchar_t> names(16384);
    for (;;) {
        const DWORD n = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
        if (n != 0) {
            names.resize(n);
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 22)) {
            scan.failures.push_back(ErrorText("the DOS device names", error));
            return;
        }
        names.resize(names.size() * 4);
    }
    // Names one after the other, each ended by a zero, the list by another.
    for (size_t at = 0; at < names.size() && names[at];) {
        const std::wstring name(&names[at]);
        at += name.size() + 1;
        if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) continue;
        PortSighting s;
        s.strName = Narrow(name);
        s.source = kPortFromDosDevice;
        scan.sightings.push_back(s);
    }
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<BYTE> data(1024);
    DWORD type = 0, size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, data.data(),
                                           static_cast<DWORD>(data.size()), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::string();
        data.resize(size);
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, data.data(),
                                               static_cast<DWORD>(data.size()), &size))
            return std::string();
    }
    data.resize(size);
    return TextOf(data, type);
}

// The first of the device's location paths, as a property or, where the
// system keeps it only there, in the device's registry properties.
std::string DeviceLocation(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<BYTE> data(1024);
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    if (SetupDiGetDevicePropertyW(set, &device, &kLocationPaths, &type, data.data(),
                                  static_cast<DWORD>(data.size()), &size, 0) &&
        (type == DEVPROP_TYPE_STRING_LIST || type == DEVPROP_TYPE_STRING)) {
        data.resize(size);
        return TextOf(data, REG_MULTI_SZ);
    }
    return DeviceProperty(set, device, SPDRP_LOCATION_PATHS);
}

std::string InstanceIdOf(DEVINST node) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return std::string();
    return Narrow(id);
}

// The port's device and its parents up to the root, each with its location.
std::vector<DeviceNode> DeviceChain(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<DeviceNode> chain;
    chain.push_back({InstanceIdOf(device.DevInst), DeviceLocation(set, device)});
    DEVINST node = device.DevInst;
    for (int depth = 0; depth < kMaxDeviceDepth; ++depth) {
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
        node = parent;
        DeviceNode entry{InstanceIdOf(node), std::string()};
        if (entry.strInstanceId.empty()) break;
        HDEVINFO one = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        if (one != INVALID_HANDLE_VALUE) {
            SP_DEVINFO_DATA info = {};
            info.cbSize = sizeof info;
            if (SetupDiOpenDeviceInfoW(one, Widen(entry.strInstanceId).c_str(), nullptr, 0, &info))
                entry.strLocation = DeviceLocation(one, info);
            SetupDiDestroyDeviceInfoList(one);
        }
        chain.push_back(entry);
    }
    return chain;
}

// The port's name is in the device's own key, not among its properties.
std::string DevicePortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return std::string();
    std::vector<BYTE> data(256);
    DWORD type = 0, size = static_cast<DWORD>(data.size());
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
        data.resize(size);
        name = TextOf(data, type);
    }
    RegCloseKey(key);
    return name;
}

// Devices of the ports class (COM and LPT), and those of other classes that
// offer the COM port interface (modems, virtual ports).
void ReadSetupDevices(PortScan& scan, const GUID& guid, DWORD flags, const char* what) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) {
        scan.failures.push_back(ErrorText(what, GetLastError()));
        return;
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        PortSighting s;
        s.strName = DevicePortName(set, device);
        if (s.strName.empty()) continue;  // a printer port, or a device not set up
        s.source = kPortFromSetupApi;
        s.strFriendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        s.strHardwareId = DeviceProperty(set, device, SPDRP_HARDWAREID);
        const PortIdentity id = IdentifyPort(DeviceChain(set, device));
        s.bUsb = id.bUsb;
        s.strSerial = id.strSerial;
        s.strLocation = id.strLocation;
        scan.sightings.push_back(s);
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

PortScan ScanPresentPorts() {
    PortScan scan;
    ReadDeviceMap(scan);
    ReadDosDevices(scan);
    ReadSetupDevices(scan, kPortsClass, 0, "the ports class");
    ReadSetupDevices(scan, kComPortInterface, DIGCF_DEVICEINTERFACE, "the COM port interface");
    return scan;
}
