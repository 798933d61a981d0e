// Writers named by their adapters: what the device tree of one recorded PC
// says of each COM port, and how usb:, loc: and [Ports] names resolve on it.
#include <gtest/gtest.h>

#include "common/memory_profile.h"
#include "writer/port_identity.h"

namespace {

const char kQuadLocation[] = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)#USBMI(";

// One PC as the system showed it, each port's device up to its USB device:
// a cable with a serial, an adapter without one, a four-port adapter whose
// ports share one serial, and the board's own port.
std::vector<PortSighting> RecordedPc() {
    struct Recorded {
        const char* name;
        std::vector<DeviceNode> chain;
    };
    std::vector<Recorded> recorded = {
        {"COM3",
         {{"FTDIBUS\\VID_0403+PID_6001+A12345A\\0000", ""},
          {"USB\\VID_0403&PID_6001\\A12345", "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"},
          {"USB\\ROOT_HUB30\\4&1B2C3D&0&0", "PCIROOT(0)#PCI(1400)#USBROOT(0)"}}},
        {"COM9",
         {{"USB\\VID_1A86&PID_7523\\5&2C1F3A&0&3", "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)"},
          {"USB\\ROOT_HUB30\\4&1B2C3D&0&0", "PCIROOT(0)#PCI(1400)#USBROOT(0)"}}},
        {"COM1", {{"ACPI\\PNP0501\\1", "ACPIROOT(0)#ACPI(_SB_)#ACPI(UAR1)"}}},
    };
    for (int i = 0; i < 4; ++i) {
        const std::string mi = "0" + std::to_string(i);
        recorded.push_back(
            {nullptr,
             {{"FTDIBUS\\VID_0403+PID_6011+FT4ABCDE" + std::string(1, 'A' + i) + "\\0000", ""},
              {"USB\\VID_0403&PID_6011&MI_" + mi + "\\6&3A4B5C&0&00" + mi,
               kQuadLocation + std::to_string(i) + ")"},
              {"USB\\VID_0403&PID_6011\\FT4ABCDE", "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)"}}});
    }
    std::vector<PortSighting> out;
    int quad = 5;
    for (const Recorded& r : recorded) {
        PortSighting s;
        s.strName = r.name ? r.name : "COM" + std::to_string(quad++);
        s.source = kPortFromSetupApi;
        const PortIdentity id = IdentifyPort(r.chain);
        s.bUsb = id.bUsb;
        s.strSerial = id.strSerial;
        s.strLocation = id.strLocation;
        out.push_back(s);
    }
    return out;
}

}  // namespace

TEST(PortIdentity, InstanceIdsGiveTheSerialOnlyWhenTheDeviceHasOne) {
    EXPECT_EQ(UsbSerialOfInstanceId("USB\\VID_0403&PID_6001\\A12345"), "A12345");
    EXPECT_EQ(UsbSerialOfInstanceId("usb\\vid_0403&pid_6001\\a12345"), "a12345");
    EXPECT_EQ(UsbSerialOfInstanceId("USB\\VID_1A86&PID_7523\\5&2C1F3A&0&3"), "");  // made up
    EXPECT_EQ(UsbSerialOfInstanceId("USB\\VID_0403&PID_6011&MI_01\\6&3A4B5C&0&0001"), "");
    EXPECT_EQ(UsbSerialOfInstanceId("FTDIBUS\\VID_0403+PID_6001+A12345A\\0000"), "");
    for (const char* broken : {"", "USB", "USB\\VID_0403", "USB\\\\A1", "USB\\VID_0403\\"})
        EXPECT_EQ(UsbSerialOfInstanceId(broken), "") << broken;
}

TEST(PortIdentity, RecordedPcGivesEachPortItsSerialLocationAndMark) {
    const std::vector<PresentPort> ports = MergePortSightings(RecordedPc());
    ASSERT_EQ(ports.size(), 7u);
    const PresentPort& board = ports[0];
    EXPECT_EQ(board.nNumber, 1);
    EXPECT_FALSE(board.bUsb);
    EXPECT_EQ(board.serialMark, SerialMark::kNone);  // no USB device, nothing missing
    EXPECT_EQ(board.strLocation, "ACPIROOT(0)#ACPI(_SB_)#ACPI(UAR1)");

    const PresentPort& cable = ports[1];
    EXPECT_EQ(cable.nNumber, 3);
    EXPECT_EQ(cable.strSerial, "A12345");  // the USB device's, not the driver's suffixed one
    EXPECT_EQ(cable.strLocation, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)");
    EXPECT_EQ(cable.serialMark, SerialMark::kNone);

    for (int i = 0; i < 4; ++i) {
        const PresentPort& p = ports[2 + i];
        EXPECT_EQ(p.nNumber, 5 + i);
        EXPECT_EQ(p.strSerial, "FT4ABCDE");
        EXPECT_EQ(p.serialMark, SerialMark::kShared);
        // The interface's location tells the four apart.
        EXPECT_EQ(p.strLocation, kQuadLocation + std::to_string(i) + ")");
    }
    const PresentPort& cheap = ports[6];
    EXPECT_EQ(cheap.nNumber, 9);
    EXPECT_TRUE(cheap.bUsb);
    EXPECT_EQ(cheap.strSerial, "");
    EXPECT_EQ(cheap.serialMark, SerialMark::kMissing);
    EXPECT_EQ(cheap.strLocation, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)");
}

TEST(PortIdentity, NamesResolveToOnePortOrSayWhatTheyMatched) {
    const std::vector<PresentPort> ports = MergePortSightings(RecordedPc());
    MemoryProfile profile;
    profile.WriteString("Ports", "Left", "usb:a12345");
    profile.WriteString("Ports", "Right", " loc:" + std::string(kQuadLocation) + "2) ");
    profile.WriteString("Ports", "Quad", "usb:FT4ABCDE");
    profile.WriteString("Ports", "Loop", "Left");
    profile.WriteString("Ports", "Fixed", "COM40");
    const auto resolve = [&](const std::string& name) {
        return ResolvePortName(name, ports, profile);
    };

    EXPECT_EQ(resolve("usb:A12345").nNumber, 3);
    EXPECT_EQ(resolve("USB:a12345").nNumber, 3);
    EXPECT_EQ(resolve("loc:" + std::string(kQuadLocation) + "3)").nNumber, 8);
    EXPECT_EQ(resolve("COM40").nNumber, 40);  // a number needs no device list, as before
    PortMatch m = resolve("left");
    EXPECT_EQ(m.nNumber, 3);
    EXPECT_EQ(m.strPosition, "left");
    EXPECT_EQ(m.strError, "");
    EXPECT_EQ(resolve("Right").nNumber, 7);
    EXPECT_EQ(resolve("Fixed").nNumber, 40);

    const struct {
        const char* name;
        const char* error;
    } refused[] = {
        {"usb:FT4ABCDE", "usb:FT4ABCDE matches COM5, COM6, COM7, COM8: it must name one port"},
        {"Quad", "Quad (usb:FT4ABCDE matches COM5, COM6, COM7, COM8: it must name one port)"},
        {"usb:ZZ999", "usb:ZZ999 matches no port present"},
        {"loc:PCIROOT(0)", "loc:PCIROOT(0) matches no port present"},
        {"Middle", "Middle is no COM port, usb:SERIAL, loc:PATH or position of [Ports]"},
        {"Loop", "[Ports] Loop=Left names no COM port, usb:SERIAL or loc:PATH"},
    };
    for (const auto& r : refused) {
        m = resolve(r.name);
        EXPECT_EQ(m.nNumber, 0) << r.name;
        EXPECT_EQ(m.strError, r.error);
    }

    std::string error;
    const std::vector<PortMatch> gang =
        ResolvePortNames({"Left", "Right", "COM9"}, ports, profile, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(gang.size(), 3u);
    EXPECT_EQ(gang[1].nNumber, 7);
    EXPECT_EQ(gang[2].strPosition, "");
    ResolvePortNames({"Left", "3"}, ports, profile, error);
    EXPECT_EQ(error, "Left and 3 both name COM3");
    ResolvePortNames({"Right", "Middle", "Left"}, ports, profile, error);
    EXPECT_EQ(error, "Middle is no COM port, usb:SERIAL, loc:PATH or position of [Ports]");
}

TEST(PortIdentity, TheSearchListOfTheSettingFollowsTheAdapters) {
    const std::vector<PresentPort> ports = MergePortSightings(RecordedPc());
    MemoryProfile profile;
    profile.WriteString("Setting", "Ports", "2, 4");
    EXPECT_TRUE(SettingPortIdentities(profile).empty());  // numbers alone need no device list

    profile.WriteString("Ports", "Left", "usb:A12345");
    profile.WriteString("Setting", "Ports", "Left, 9");
    PortList list = ResolveSettingPorts(SettingPortIdentities(profile), ports, profile);
    EXPECT_EQ(list.ports, (std::vector<int>{3, 9}));
    EXPECT_EQ(list.strMessage, "");

    // A name that leads nowhere: the usual search, and the reason said once.
    profile.WriteString("Setting", "Ports", "usb:ZZ999");
    list = ResolveSettingPorts(SettingPortIdentities(profile), ports, profile);
    EXPECT_EQ(list.ports, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.strMessage, "[Setting] Ports: usb:ZZ999 matches no port present");
    // A word that names nothing at all is refused as a list of no numbers is.
    profile.WriteString("Setting", "Ports", "x");
    list = ResolveSettingPorts(SettingPortIdentities(profile), ports, profile);
    EXPECT_EQ(list.ports, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.strMessage, "Invalid Ports in 'Larkspur.ini', set to default: COM1, COM2, COM3");
}

TEST(PortIdentity, WhatCountsAsAName) {
    for (const char* name :
         {"usb:A1", "LOC:PCIROOT(0)", "Left", "socket_2", "Right-1", "Comet", "COMA", "LPTX"})
        EXPECT_TRUE(IsPortIdentityName(name)) << name;
    // The system's device names, numbers and blanks stay the errors they were.
    for (const char* name : {"usb:", "loc:", "", "COM", "COM0", "com256", "LPT1", "7", "3x",
                             "Left side", "Left,Right"})
        EXPECT_FALSE(IsPortIdentityName(name)) << name;
}
