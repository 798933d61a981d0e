#pragma once
#include <string>

#include "console/command_line.h"
#include "writer/port.h"
#include "writer/port_inventory.h"

struct ConsoleIo;
class Profile;

// `pyrocmd ports`: the COM ports present and, with --probe, which of them a
// writer answers on. Used by RunPyrocmd.

// What asking one port for a writer found.
struct PortProbe {
    bool bOpened = false;
    bool bWriter = false;     // it answered the ping
    std::string strFirmware;  // "V0102"; empty when the version did not come
    std::string strVersion;   // "Software(V1.2), Firmware(V0102)"
};

// Pings COM<number> on `port` as the writer search does, then asks the version;
// the port is closed again afterwards.
PortProbe ProbePort(Port& port, int number, const ConsoleIo& io);

// One port's line; `probe` null when the port was not asked.
std::string FormatPortLine(const PresentPort& port, const PortProbe* probe, bool json);

// The command itself: lists what io.listPorts finds, asking each port on `port`
// when args.bProbe. Returns the exit status.
int RunPortsCommand(const ConsoleArgs& args, Port& port, const ConsoleIo& io);

// Turns the usb:, loc: and position names of --port, --ports or [Setting]
// Ports into the COM ports present now. A name that matches no port or
// several stops the run before any chip: said, with kExitNoWriter.
int ResolveWriterNames(ConsoleArgs& args, const Profile& profile, const ConsoleIo& io);
