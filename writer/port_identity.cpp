#include "writer/port_identity.h"

#include <cctype>
#include <map>

#include "common/profile.h"
#include "common/split_token.h"
#include "common/text_case.h"
#include "writer/port_list.h"

namespace {

const char kUsbPrefix[] = "usb:";
const char kLocationPrefix[] = "loc:";

// "USB\VID_0403&PID_6001\A12345": enumerator, device and instance.
bool SplitInstanceId(const std::string& id, std::string parts[3]) {
    std::string rest = id;
    for (int i = 0; i < 3; ++i) {
        const size_t at = i < 2 ? rest.find('\\') : std::string::npos;
        if (i < 2 && at == std::string::npos) return false;
        parts[i] = rest.substr(0, at);
        rest = at == std::string::npos ? std::string() : rest.substr(at + 1);
    }
    return !parts[0].empty() && !parts[1].empty() && !parts[2].empty();
}

bool IsUsbDevice(const std::string& id, bool& isInterface) {
    std::string parts[3];
    if (!SplitInstanceId(id, parts) || !EqualsNoCase(parts[0], "USB")) return false;
    // "VID_0403&PID_6011&MI_00": one interface of a device with several.
    isInterface = UpperAscii(parts[1]).find("&MI_") != std::string::npos;
    return true;
}

std::string PortNames(const std::vector<int>& numbers) {
    std::string text;
    for (const int n : numbers) text += (text.empty() ? "" : ", ") + PortName(n);
    return text;
}

PortMatch Matching(const std::string& name, const std::vector<int>& numbers) {
    PortMatch m;
    if (numbers.size() == 1) {
        m.nNumber = numbers[0];
    } else if (numbers.empty()) {
        m.strError = name + " matches no port present";
    } else {
        m.strError = name + " matches " + PortNames(numbers) + ": it must name one port";
    }
    return m;
}

// A COM port, a usb: or a loc: name; false for anything else (a position).
bool ResolveIdentity(const std::string& text, const std::vector<PresentPort>& ports,
                     PortMatch& match) {
    int n = 0;
    if (ParsePortName(text, n)) {
        match.nNumber = n;
        return true;
    }
    const bool usb = StartsWithNoCase(text, kUsbPrefix);
    if (!usb && !StartsWithNoCase(text, kLocationPrefix)) return false;
    const std::string wanted = text.substr(4);
    std::vector<int> numbers;
    if (!wanted.empty())
        for (const PresentPort& p : ports)
            if (EqualsNoCase(usb ? p.strSerial : p.strLocation, wanted))
                numbers.push_back(p.nNumber);
    match = Matching(text, numbers);
    return true;
}

}  // namespace

std::string UsbSerialOfInstanceId(const std::string& instanceId) {
    bool isInterface = false;
    if (!IsUsbDevice(instanceId, isInterface) || isInterface) return std::string();
    std::string parts[3];
    SplitInstanceId(instanceId, parts);
    // The system joins its own instance parts with '&'; a serial it took from
    // the device never holds one.
    if (parts[2].find('&') != std::string::npos) return std::string();
    return parts[2];
}

PortIdentity IdentifyPort(const std::vector<DeviceNode>& chain) {
    PortIdentity id;
    for (const DeviceNode& node : chain) {
        if (id.strLocation.empty()) id.strLocation = node.strLocation;
        bool isInterface = false;
        if (!IsUsbDevice(node.strInstanceId, isInterface)) continue;
        id.bUsb = true;
        // An interface's serial is its parent's: the device itself is further up.
        if (isInterface) continue;
        id.strSerial = UsbSerialOfInstanceId(node.strInstanceId);
        break;
    }
    return id;
}

void MarkSerials(std::vector<PresentPort>& ports) {
    std::map<std::string, int> count;
    for (const PresentPort& p : ports)
        if (!p.strSerial.empty()) ++count[UpperAscii(p.strSerial)];
    for (PresentPort& p : ports) {
        p.serialMark = SerialMark::kNone;
        if (!p.bUsb) continue;
        if (p.strSerial.empty())
            p.serialMark = SerialMark::kMissing;
        else if (count[UpperAscii(p.strSerial)] > 1)
            p.serialMark = SerialMark::kShared;
    }
}

bool IsPlainPortName(const std::string& text) {
    int n = 0;
    return ParsePortName(text, n);
}

bool IsPortIdentityName(const std::string& text) {
    if (StartsWithNoCase(text, kUsbPrefix) || StartsWithNoCase(text, kLocationPrefix))
        return text.size() > 4;
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (const char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    const std::string head = UpperAscii(text.substr(0, 3));
    if (head == "COM" || head == "LPT") {
        const std::string tail = text.substr(3);
        bool digits = true;
        for (const char c : tail) digits = digits && std::isdigit(static_cast<unsigned char>(c));
        if (digits) return false;
    }
    return true;
}

PortMatch ResolvePortName(const std::string& text, const std::vector<PresentPort>& ports,
                          const Profile& profile) {
    PortMatch match;
    if (ResolveIdentity(text, ports, match)) return match;
    const std::string value = TrimWhite(profile.GetString("Ports", text, ""));
    if (value.empty()) {
        match.strError = text + " is no COM port, usb:SERIAL, loc:PATH or position of [Ports]";
        match.bUnknown = true;
        return match;
    }
    if (!ResolveIdentity(value, ports, match)) {
        match.strError =
            "[Ports] " + text + "=" + value + " names no COM port, usb:SERIAL or loc:PATH";
        return match;
    }
    match.strPosition = text;
    if (!match.strError.empty()) match.strError = text + " (" + match.strError + ")";
    return match;
}

std::vector<PortMatch> ResolvePortNames(const std::vector<std::string>& names,
                                        const std::vector<PresentPort>& ports,
                                        const Profile& profile, std::string& error) {
    std::vector<PortMatch> out;
    std::map<int, std::string> taken;
    error.clear();
    for (const std::string& name : names) {
        out.push_back(ResolvePortName(name, ports, profile));
        const PortMatch& m = out.back();
        if (!m.strError.empty()) {
            error = m.strError;
            return out;
        }
        const auto [at, fresh] = taken.emplace(m.nNumber, name);
        if (!fresh) {
            error = at->second + " and " + name + " both name " + PortName(m.nNumber);
            return out;
        }
    }
    return out;
}

std::vector<std::string> SettingPortIdentities(const Profile& profile) {
    std::vector<std::string> names;
    std::string rest = profile.GetString("Setting", "Ports", "");
    bool named = false;
    while (!rest.empty()) {
        names.push_back(TrimWhite(SplitToken(rest, ',')));
        named = named || IsPortIdentityName(names.back());
    }
    if (!named) names.clear();
    return names;
}

PortList ResolveSettingPorts(const std::vector<std::string>& names,
                             const std::vector<PresentPort>& present, const Profile& profile) {
    std::string error;
    const std::vector<PortMatch> found = ResolvePortNames(names, present, profile, error);
    PortList list;
    if (!error.empty()) {
        // A word that names nothing is a list refused as any other is.
        if (!found.empty() && found.back().bUnknown) return ParsePortList(",");
        list.ports = {1, 2, 3};
        list.strMessage = "[Setting] Ports: " + error;
        return list;
    }
    for (const PortMatch& m : found) list.ports.push_back(m.nNumber);
    return list;
}
