#include "console/port_listing.h"

#include "console/output.h"
#include "console/pyrocmd.h"
#include "common/profile.h"
#include "common/split_token.h"
#include "core/link_texts.h"
#include "writer/port_identity.h"
#include "writer/port_list.h"
#include "writer/writer_link.h"

namespace {

// Tells whether the link got the port open: a port that is there but held by
// another program is not the same as one where nothing answers.
class OpenWatch : public Port {
  public:
    explicit OpenWatch(Port& inner) : m_inner(inner) {}
    bool Open(int number) override { return m_bOpened = m_inner.Open(number) || m_bOpened; }
    void Close() override { m_inner.Close(); }
    void Write(const uint8_t* bytes, size_t count) override { m_inner.Write(bytes, count); }
    size_t Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) override {
        return m_inner.Read(dest, size, want, timeoutMs);
    }
    uint32_t TickCount() override { return m_inner.TickCount(); }
    void Sleep(uint32_t ms) override { m_inner.Sleep(ms); }
    bool Opened() const { return m_bOpened; }

  private:
    Port& m_inner;
    bool m_bOpened = false;
};

const char* SerialMarkName(SerialMark mark) {
    switch (mark) {
        case SerialMark::kMissing:
            return "missing";
        case SerialMark::kShared:
            return "shared";
        case SerialMark::kNone:
            break;
    }
    return "";
}

// What names the port whatever COM number it gets: the serial unless it is
// missing or shared, and the location.
std::string IdentityText(const PresentPort& port) {
    std::string text;
    if (port.serialMark == SerialMark::kMissing)
        text += "  no USB serial";
    else if (!port.strSerial.empty())
        text +=
            "  usb:" + port.strSerial + (port.serialMark == SerialMark::kShared ? " (shared)" : "");
    if (!port.strLocation.empty()) text += "  loc:" + port.strLocation;
    return text;
}

// The whole JSON form of a port, kept in one place.
std::string PortJson(const PresentPort& port, const PortProbe* probe) {
    Json line = JsonObject("port");
    line["port"] = PortName(port.nNumber);
    line["number"] = port.nNumber;
    line["friendly_name"] = JsonTextOrNull(port.strFriendlyName);
    line["hardware_id"] = JsonTextOrNull(port.strHardwareId);
    line["usb"] = port.bUsb;
    line["serial"] = JsonTextOrNull(port.strSerial);
    line["serial_mark"] = JsonTextOrNull(SerialMarkName(port.serialMark));
    line["location"] = JsonTextOrNull(port.strLocation);
    line["sources"] = PortSourceNames(port.sources);
    if (probe) {
        line["opened"] = probe->bOpened;
        line["writer"] = probe->bWriter;
        line["firmware"] = JsonTextOrNull(probe->strFirmware);
        line["version"] = JsonTextOrNull(probe->strVersion);
    }
    return JsonLine(line);
}

std::string ProbeText(const PortProbe& probe) {
    if (probe.bWriter) return "writer: " + probe.strVersion;
    return probe.bOpened ? "no writer" : "cannot be opened";
}

}  // namespace

PortProbe ProbePort(Port& port, int number, const ConsoleIo&) {
    OpenWatch watch(port);
    // The link's news is for a window; the probe's result is printed instead.
    WriterLink link(watch);
    link.SetOnlyPort(number);
    PortProbe probe;
    probe.bWriter = link.EnsureConnected();
    probe.bOpened = watch.Opened();
    if (probe.bWriter) {
        probe.strFirmware = link.Firmware();
        probe.strVersion = WriterVersionText(link.Firmware());
    }
    port.Close();
    return probe;
}

std::string FormatPortLine(const PresentPort& port, const PortProbe* probe, bool json) {
    if (json) return PortJson(port, probe);
    std::string text = PortName(port.nNumber);
    if (probe) text += "  " + ProbeText(*probe);
    if (!port.strFriendlyName.empty()) text += "  " + port.strFriendlyName;
    if (!port.strHardwareId.empty()) text += "  " + port.strHardwareId;
    text += IdentityText(port);
    std::string sources;
    for (const std::string& s : PortSourceNames(port.sources))
        sources += (sources.empty() ? "" : ", ") + s;
    return text + "  [" + sources + "]\n";
}

int RunPortsCommand(const ConsoleArgs& args, Port& port, const ConsoleIo& io) {
    const PortScan scan = io.listPorts();
    for (const std::string& failure : scan.failures)
        io.err("pyrocmd: cannot read " + failure + "\n");
    const std::vector<PresentPort> present = MergePortSightings(scan.sightings);
    // Nothing named and a source broken: the list cannot be trusted to be empty.
    if (present.empty() && !scan.failures.empty()) return kExitOperationFailed;
    if (present.empty()) {
        if (args.bJson)
            io.err("pyrocmd: no COM port is present\n");
        else
            io.out("No COM port is present.\n");
        return args.bProbe ? kExitNoWriter : kExitOk;
    }

    std::string silent;
    bool anyWriter = false;
    for (const PresentPort& p : present) {
        if (!args.bProbe) {
            io.out(FormatPortLine(p, nullptr, args.bJson));
            continue;
        }
        const PortProbe probe = ProbePort(port, p.nNumber, io);
        io.out(FormatPortLine(p, &probe, args.bJson));
        anyWriter = anyWriter || probe.bWriter;
        silent += (silent.empty() ? "" : ", ") + PortName(p.nNumber);
    }
    if (!args.bProbe || anyWriter) return kExitOk;
    io.err("pyrocmd: no writer answers on " + silent + "\n");
    return kExitNoWriter;
}

int ResolveWriterNames(ConsoleArgs& args, const Profile& profile, const ConsoleIo& io) {
    std::vector<std::string> names = args.portNames;
    const bool fromSetting = names.empty();
    if (fromSetting) {
        if (args.nPort > 0 || !args.ports.empty()) return kExitOk;
        names = SettingPortIdentities(profile);
        // Numbers alone are the search's own, refused or not there.
        if (names.empty()) return kExitOk;
    }
    const PortScan scan = io.listPorts();
    for (const std::string& failure : scan.failures)
        io.err("pyrocmd: cannot read " + failure + "\n");
    std::string error;
    const std::vector<PortMatch> found =
        ResolvePortNames(names, MergePortSightings(scan.sightings), profile, error);
    if (!error.empty()) {
        io.err("pyrocmd: " + std::string(fromSetting ? "[Setting] Ports: " : "") + error + "\n");
        return kExitNoWriter;
    }
    std::vector<int> numbers;
    for (const PortMatch& m : found) numbers.push_back(m.nNumber);
    if (fromSetting) {
        args.searchPorts = numbers;
    } else if (numbers.size() == 1) {
        args.nPort = numbers[0];
    } else {
        args.ports = numbers;
        for (const PortMatch& m : found) args.positions.push_back(m.strPosition);
    }
    return kExitOk;
}
