// `pyrocmd ports`: the merge of what the system's sources say into one list,
// its lines, and --probe asking each port on the writer model.
#include <gtest/gtest.h>

#include "common/ini_profile.h"
#include "console/command_line.h"
#include "console/output.h"
#include "console/port_listing.h"
#include "console/pyrocmd.h"
#include "emulator/model_port.h"
#include "tests/unit/temp_path.h"
#include "writer/port_inventory.h"
#include "writer/protocol.h"

namespace {

PortSighting Seen(const char* name, PortSource source, const char* friendly = "",
                  const char* hardware = "") {
    PortSighting s;
    s.strName = name;
    s.source = source;
    s.strFriendlyName = friendly;
    s.strHardwareId = hardware;
    return s;
}

std::vector<int> Numbers(const std::vector<PresentPort>& ports) {
    std::vector<int> n;
    for (const PresentPort& p : ports) n.push_back(p.nNumber);
    return n;
}

}  // namespace

TEST(PortInventory, SourcesOfOnePortMergeAndTheDeviceNamesIt) {
    const std::vector<PresentPort> ports = MergePortSightings({
        Seen("COM3", kPortFromDeviceMap),
        Seen("com3", kPortFromDosDevice),
        Seen("COM3", kPortFromSetupApi, "USB Serial Port (COM3)", "USB\\VID_0403&PID_6001"),
        // The same device seen again through its interface says nothing new.
        Seen("COM3", kPortFromSetupApi, "Other name", "Other ID"),
    });
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].nNumber, 3);
    EXPECT_EQ(ports[0].sources, kPortFromDeviceMap | kPortFromDosDevice | kPortFromSetupApi);
    EXPECT_EQ(ports[0].strFriendlyName, "USB Serial Port (COM3)");
    EXPECT_EQ(ports[0].strHardwareId, "USB\\VID_0403&PID_6001");
    EXPECT_EQ(PortSourceNames(ports[0].sources),
              (std::vector<std::string>{"serialcomm", "dosdevice", "setupapi"}));
}

TEST(PortInventory, SortedByNumberNotByName) {
    const std::vector<PresentPort> ports = MergePortSightings({
        Seen("COM10", kPortFromDosDevice),
        Seen("COM2", kPortFromDeviceMap),
        Seen("COM255", kPortFromDosDevice),
        Seen("COM9", kPortFromDosDevice),
        Seen("COM1", kPortFromDosDevice),
    });
    EXPECT_EQ(Numbers(ports), (std::vector<int>{1, 2, 9, 10, 255}));
    EXPECT_EQ(ports[1].sources, static_cast<unsigned>(kPortFromDeviceMap));
}

TEST(PortInventory, OnlyNamesTheWriterCanBeOpenedOnAreKept) {
    const std::vector<PresentPort> ports = MergePortSightings({
        Seen("LPT1", kPortFromSetupApi), Seen("COM", kPortFromDosDevice),
        Seen("COM0", kPortFromDosDevice),
        Seen("COM07", kPortFromDosDevice),  // not what \\.\COM7 opens
        Seen("COM256", kPortFromDosDevice), Seen("COM4X", kPortFromDosDevice),
        Seen("CNCA0", kPortFromDeviceMap), Seen("7", kPortFromDeviceMap),
        Seen("", kPortFromDeviceMap), Seen(" COM5 ", kPortFromDeviceMap),  // padded in the map
    });
    EXPECT_EQ(Numbers(ports), (std::vector<int>{5}));
}

TEST(PortListing, TextLines) {
    PresentPort plain;
    plain.nNumber = 12;
    plain.sources = kPortFromDosDevice | kPortFromDeviceMap;
    EXPECT_EQ(FormatPortLine(plain, nullptr, false), "COM12  [serialcomm, dosdevice]\n");

    PresentPort usb = plain;
    usb.nNumber = 3;
    usb.strFriendlyName = "USB Serial Port (COM3)";
    usb.strHardwareId = "FTDIBUS\\VID_0403";
    usb.sources |= kPortFromSetupApi;
    const std::string rest =
        "  USB Serial Port (COM3)  FTDIBUS\\VID_0403  [serialcomm, dosdevice, setupapi]\n";
    EXPECT_EQ(FormatPortLine(usb, nullptr, false), "COM3" + rest);

    PortProbe probe;
    EXPECT_EQ(FormatPortLine(usb, &probe, false), "COM3  cannot be opened" + rest);
    probe.bOpened = true;
    EXPECT_EQ(FormatPortLine(usb, &probe, false), "COM3  no writer" + rest);
    probe.bWriter = true;
    probe.strFirmware = "V0102";
    probe.strVersion = "Software(V1.2), Firmware(V0102)";
    EXPECT_EQ(FormatPortLine(usb, &probe, false),
              "COM3  writer: Software(V1.2), Firmware(V0102)" + rest);
}

TEST(PortListing, JsonLinesHaveTypedFields) {
    PresentPort p;
    p.nNumber = 3;
    p.strFriendlyName = "Port \"A\" (COM3)";
    p.strHardwareId = "USB\\VID_1A86";
    p.sources = kPortFromSetupApi;
    EXPECT_EQ(FormatPortLine(p, nullptr, true),
              "{\"type\":\"port\",\"layout\":1,\"port\":\"COM3\",\"number\":3,"
              "\"friendly_name\":\"Port \\\"A\\\" (COM3)\",\"hardware_id\":\"USB\\\\VID_1A86\","
              "\"usb\":false,\"serial\":null,\"serial_mark\":null,\"location\":null,"
              "\"sources\":[\"setupapi\"]}\n");

    // Unknown names are null, not empty texts; the probe's fields come only with it.
    p.strFriendlyName.clear();
    p.strHardwareId.clear();
    p.sources = kPortFromDeviceMap | kPortFromDosDevice;
    PortProbe probe;
    probe.bOpened = true;
    EXPECT_EQ(
        FormatPortLine(p, &probe, true),
        "{\"type\":\"port\",\"layout\":1,\"port\":\"COM3\",\"number\":3,\"friendly_name\":null,"
        "\"hardware_id\":null,\"usb\":false,\"serial\":null,\"serial_mark\":null,"
        "\"location\":null,\"sources\":[\"serialcomm\",\"dosdevice\"],"
        "\"opened\":true,\"writer\":false,\"firmware\":null,\"version\":null}\n");
    probe.bWriter = true;
    probe.strFirmware = "V0102";
    probe.strVersion = "Software(V1.2), Firmware(V0102)";
    EXPECT_NE(FormatPortLine(p, &probe, true)
                  .find("\"writer\":true,\"firmware\":\"V0102\","
                        "\"version\":\"Software(V1.2), Firmware(V0102)\"}"),
              std::string::npos);
}

TEST(PortListing, SerialAndLocationNameTheAdapterAndItsFlaws) {
    PresentPort p;
    p.nNumber = 5;
    p.sources = kPortFromSetupApi;
    p.bUsb = true;
    p.strSerial = "FT4ABCDE";
    p.strLocation = "PCIROOT(0)#USB(4)#USBMI(1)";
    p.serialMark = SerialMark::kShared;
    EXPECT_EQ(FormatPortLine(p, nullptr, false),
              "COM5  usb:FT4ABCDE (shared)  loc:PCIROOT(0)#USB(4)#USBMI(1)  [setupapi]\n");
    EXPECT_NE(FormatPortLine(p, nullptr, true)
                  .find("\"usb\":true,\"serial\":\"FT4ABCDE\",\"serial_mark\":\"shared\","
                        "\"location\":\"PCIROOT(0)#USB(4)#USBMI(1)\""),
              std::string::npos);
    p.strSerial.clear();
    p.serialMark = SerialMark::kMissing;
    EXPECT_EQ(FormatPortLine(p, nullptr, false),
              "COM5  no USB serial  loc:PCIROOT(0)#USB(4)#USBMI(1)  [setupapi]\n");
    EXPECT_NE(FormatPortLine(p, nullptr, true).find("\"serial\":null,\"serial_mark\":\"missing\""),
              std::string::npos);
    p.strSerial = "A12345";
    p.serialMark = SerialMark::kNone;
    EXPECT_EQ(FormatPortLine(p, nullptr, false),
              "COM5  usb:A12345  loc:PCIROOT(0)#USB(4)#USBMI(1)  [setupapi]\n");
}

TEST(PortListing, CommandLine) {
    const auto parse = [](std::vector<std::string> args) { return ParseConsoleArgs(args); };
    ConsoleArgs a = parse({"ports"});
    EXPECT_EQ(a.strError, "");
    EXPECT_EQ(a.command, ConsoleCommand::Ports);
    EXPECT_FALSE(a.bProbe);
    a = parse({"--json", "ports", "--probe"});
    EXPECT_EQ(a.strError, "");
    EXPECT_TRUE(a.bProbe);
    EXPECT_TRUE(a.bJson);
    EXPECT_EQ(parse({"detect", "--probe"}).strError,
              "Option --probe does not apply to 'detect': it belongs to 'ports'.");
    EXPECT_EQ(parse({"--probe"}).strError, "No command given.");
    EXPECT_EQ(parse({"ports", "--probe=1"}).strError, "Option --probe takes no value.");
    EXPECT_EQ(parse({"ports", "COM3"}).strError, "Unexpected argument 'COM3' after 'ports'.");
    EXPECT_NE(ConsoleHelpText().find("\n  ports "), std::string::npos);
    EXPECT_NE(ConsoleHelpText().find("\n  --probe "), std::string::npos);
}

namespace {

// The command as pyrocmd's main runs it, on the writer model with a settings
// file that does not exist: listing ports needs none.
class PortsCommandTest : public ::testing::Test {
  protected:
    PortsCommandTest() : profile_(TestTempPath("-absent.ini")) {
        io_.out = [this](const std::string& t) { out_ += t; };
        io_.err = [this](const std::string& t) { err_ += t; };
        io_.listPorts = [this] { return scan_; };
        port_.writerPort = 3;
    }

    void Present(std::initializer_list<const char*> names) {
        for (const char* n : names) scan_.sightings.push_back(Seen(n, kPortFromDosDevice));
    }

    int Run(const std::vector<std::string>& args) {
        out_.clear();
        err_.clear();
        const ConsoleArgs parsed = ParseConsoleArgs(args);
        EXPECT_EQ(parsed.strError, "");
        return RunPyrocmd(parsed, profile_, {&port_}, io_, ::testing::TempDir(), "");
    }

    IniProfile profile_;
    emu::ModelPort port_;
    ConsoleIo io_;
    PortScan scan_;
    std::string out_, err_;
};

}  // namespace

TEST_F(PortsCommandTest, ListingAlonePutsNothingOnAnyLine) {
    Present({"COM4", "COM3", "COM1"});
    EXPECT_EQ(Run({"ports"}), 0);
    EXPECT_EQ(out_, "COM1  [dosdevice]\nCOM3  [dosdevice]\nCOM4  [dosdevice]\n");
    EXPECT_EQ(err_, "");
    EXPECT_TRUE(port_.opened.empty());
    EXPECT_TRUE(port_.sent.empty());
}

TEST_F(PortsCommandTest, ProbeMarksThePortAWriterAnswersOn) {
    Present({"COM1", "COM3", "COM4"});
    port_.missing.insert(4);  // held by another program
    EXPECT_EQ(Run({"ports", "--probe"}), 0);
    EXPECT_EQ(out_,
              "COM1  no writer  [dosdevice]\n"
              "COM3  writer: Software(V1.2), Firmware(V0102)  [dosdevice]\n"
              "COM4  cannot be opened  [dosdevice]\n");
    EXPECT_EQ(err_, "");
    // Each port was pinged once and only the writer asked for its version; none is left open.
    EXPECT_EQ(port_.opened, (std::vector<int>{1, 3}));
    EXPECT_EQ(port_.CountSent(CMD_PING), 2);
    EXPECT_EQ(port_.CountSent(CMD_VERSION), 1);
    EXPECT_EQ(port_.OpenNumber(), 0);
}

TEST_F(PortsCommandTest, ProbeInJsonGivesTheFirmware) {
    Present({"COM3"});
    port_.model.fwLow = 0x02;
    port_.model.fwHigh = 0x07;
    EXPECT_EQ(Run({"ports", "--probe", "--json"}), 0);
    EXPECT_NE(out_.find("\"writer\":true,\"firmware\":\"V0207\""), std::string::npos) << out_;
}

TEST_F(PortsCommandTest, ProbeWithoutAWriterIsTheNoWriterStatus) {
    Present({"COM1", "COM3"});
    port_.line.muted = true;  // plugged in, says nothing
    EXPECT_EQ(Run({"ports", "--probe"}), 3);
    EXPECT_EQ(out_, "COM1  no writer  [dosdevice]\nCOM3  no writer  [dosdevice]\n");
    EXPECT_EQ(err_, "pyrocmd: no writer answers on COM1, COM3\n");
    // The listing alone never asks, so it has nothing to miss.
    EXPECT_EQ(Run({"ports"}), 0);
}

TEST_F(PortsCommandTest, NoPortPresent) {
    EXPECT_EQ(Run({"ports"}), 0);
    EXPECT_EQ(out_, "No COM port is present.\n");
    // A JSON reader gets no object, the person a line on the error stream.
    EXPECT_EQ(Run({"ports", "--json"}), 0);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "pyrocmd: no COM port is present\n");
    EXPECT_EQ(Run({"ports", "--probe"}), 3);
}

TEST_F(PortsCommandTest, AnUnreadableSourceIsSaid) {
    scan_.failures.push_back("the DOS device names: error 5");
    EXPECT_EQ(Run({"ports"}), 1);  // an empty list would be a guess
    EXPECT_EQ(err_, "pyrocmd: cannot read the DOS device names: error 5\n");
    EXPECT_EQ(out_, "");
    Present({"COM2"});
    EXPECT_EQ(Run({"ports"}), 0);  // the other sources still name ports
    EXPECT_EQ(out_, "COM2  [dosdevice]\n");
    EXPECT_EQ(err_, "pyrocmd: cannot read the DOS device names: error 5\n");
}
