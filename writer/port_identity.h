#pragma once
#include <string>
#include <vector>

#include "writer/port_inventory.h"
#include "writer/port_list.h"

class Profile;

// A writer named by what stays when its adapter moves to another jack: the
// USB serial number (`usb:SERIAL`), the USB location (`loc:PATH`) or a
// position of [Ports] that names one of those. The system's reading of the
// devices is in port_inventory_win.cpp; what it means is here.

// One device on the way from a COM port up to the USB device it belongs to.
struct DeviceNode {
    std::string strInstanceId;  // "USB\VID_0403&PID_6001\A12345"
    std::string strLocation;    // its first location path; empty when it has none
};

struct PortIdentity {
    bool bUsb = false;        // the port belongs to a USB device
    std::string strSerial;    // that device's serial number; empty when it has none
    std::string strLocation;  // the nearest location path on the way up
};

// `chain` starts at the port's own device and goes up its parents.
PortIdentity IdentifyPort(const std::vector<DeviceNode>& chain);

// The serial number of a USB device's instance id. Empty for anything else:
// another bus, an interface of a composite device, or an instance part the
// system made up because the device reports no serial ("5&2C1F3A&0&2").
std::string UsbSerialOfInstanceId(const std::string& instanceId);

// Sets each USB port's mark: no serial, or a serial another port has too.
void MarkSerials(std::vector<PresentPort>& ports);

// What a name on the command line or in a setting stands for.
struct PortMatch {
    int nNumber = 0;          // the COM number; 0 when the name stands for none
    std::string strPosition;  // the [Ports] name used, else empty
    std::string strError;     // why not: names the name and what it matched
    bool bUnknown = false;    // no device's name and no position: the list is no list
};

// True when `text` is a COM number or port name ("7", "COM7"): it needs no device list.
bool IsPlainPortName(const std::string& text);

// True for `usb:SERIAL`, `loc:PATH` and what can be a position's name: a word
// of letters, digits, '_' and '-' from a letter on, other than a device's
// name of the system ("COM", "COM0", "LPT1"), which stays an error.
bool IsPortIdentityName(const std::string& text);

// Resolves a COM number, `usb:SERIAL`, `loc:PATH` or a [Ports] position of
// `profile` against the ports present. Serials and paths match without regard
// to case: the system keeps them in capitals.
PortMatch ResolvePortName(const std::string& text, const std::vector<PresentPort>& ports,
                          const Profile& profile);

// Resolves every name of a gang or a search list; a COM port two names lead to
// is an error too, since one writer cannot hold two sockets.
std::vector<PortMatch> ResolvePortNames(const std::vector<std::string>& names,
                                        const std::vector<PresentPort>& ports,
                                        const Profile& profile, std::string& error);

// The names of [Setting] Ports when one of them needs the device list (usb:,
// loc:, a position); empty when it names COM numbers only, which the search
// takes as they are.
std::vector<std::string> SettingPortIdentities(const Profile& profile);

// What the writer search of a front end runs on when [Setting] Ports names
// writers by their identities: the COM numbers they lead to now, or COM1 to
// COM3 with the reason for the message line when a name matches no port or several.
PortList ResolveSettingPorts(const std::vector<std::string>& names,
                             const std::vector<PresentPort>& present, const Profile& profile);
