#include "console/port_listing.h"

#include "console/output.h"
#include "console/pyrocmd.h"
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

// The link's texts are for a window; the probe's result is printed instead.
class QuietReport : public LinkReport {
  public:
    explicit QuietReport(const ConsoleIo& io) : m_io(io) {}
    void SetLinkText(LinkText, const std::string&) override {}
    void ShowTexts() override {}
    void Beep() override {}
    void ErrorBox(const std::string&) override {}
    void ProgressStart(int) override {}
    void ProgressStep(int) override {}
    bool Breathe() override { return m_io.breathe(); }
    void Searching(bool) override {}

  private:
    const ConsoleIo& m_io;
};

// The whole JSON form of a port, kept in one place.
std::string PortJson(const PresentPort& port, const PortProbe* probe) {
    Json line = JsonObject("port");
    line["port"] = PortName(port.nNumber);
    line["number"] = port.nNumber;
    line["friendly_name"] = JsonTextOrNull(port.strFriendlyName);
    line["hardware_id"] = JsonTextOrNull(port.strHardwareId);
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

PortProbe ProbePort(Port& port, int number, const ConsoleIo& io) {
    OpenWatch watch(port);
    QuietReport report(io);
    WriterLink link(report, watch);
    link.SetOnlyPort(number);
    PortProbe probe;
    probe.bWriter = link.EnsureConnected();
    probe.bOpened = watch.Opened();
    if (probe.bWriter) {
        probe.strFirmware = link.Firmware();
        probe.strVersion = link.VersionText();
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
