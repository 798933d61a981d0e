#pragma once
#include <string>
#include <vector>

// The COM ports present on the PC, put together from what each of the
// system's sources says of them. The gathering itself is Win32
// (port_inventory_win.cpp); the merge is here so it can be tested anywhere.

// Where the system names a port; a port may be named by several.
enum PortSource : unsigned {
    kPortFromDeviceMap = 1,  // the serial-device map of the registry
    kPortFromDosDevice = 2,  // a DOS device name
    kPortFromSetupApi = 4,   // a device of the ports class or the COM port interface
};

// One source's word on one port.
struct PortSighting {
    std::string strName;  // as the source spells it: "COM3", "com3"
    PortSource source = kPortFromDosDevice;
    std::string strFriendlyName;  // the device's, when the source knows the device
    std::string strHardwareId;    // its first hardware ID
    bool bUsb = false;            // the device is on USB (port_identity.h)
    std::string strSerial;        // its USB device's serial number
    std::string strLocation;      // its location path
};

enum class SerialMark { kNone, kMissing, kShared };

struct PresentPort {
    int nNumber = 0;
    std::string strFriendlyName;
    std::string strHardwareId;
    unsigned sources = 0;  // PortSource bits
    bool bUsb = false;
    std::string strSerial;
    std::string strLocation;
    SerialMark serialMark = SerialMark::kNone;  // set for USB ports by the merge
};

// What the system said: the ports named, and the sources that could not be read.
struct PortScan {
    std::vector<PortSighting> sightings;
    std::vector<std::string> failures;  // "the serial-device map: error 5"
};

// One entry per COM number, sorted by number. Names that are no COM port
// the writer could be opened on (LPT1, COM0, a driver's own name) are left out.
std::vector<PresentPort> MergePortSightings(const std::vector<PortSighting>& sightings);

// "serialcomm", "dosdevice", "setupapi": the sources' names in output, in that order.
std::vector<std::string> PortSourceNames(unsigned sources);

// Win32 only: asks the system's sources.
PortScan ScanPresentPorts();
