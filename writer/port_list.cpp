#include "writer/port_list.h"

#include <algorithm>

#include "common/profile.h"
#include "common/split_token.h"

namespace {
const char kRefused[] = "Invalid Ports in 'Larkspur.ini', set to default: COM1, COM2, COM3";

PortList DefaultPorts() {
    return PortList{{1, 2, 3}, std::string()};
}
}  // namespace

bool ParsePortNumber(const std::string& text, int& port) {
    if (text.empty()) return false;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        if (n > kMaxPortNumber) return false;
    }
    if (n < 1) return false;
    port = n;
    return true;
}

bool ParsePortName(const std::string& text, int& port) {
    const bool named = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                       (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
    return ParsePortNumber(named ? text.substr(3) : text, port);
}

PortList ParsePortList(const std::string& value) {
    std::string rest = TrimWhite(value);
    if (rest.empty()) return DefaultPorts();
    PortList list;
    // SplitToken drops a trailing empty item, so an ending comma is checked here.
    const bool endsInComma = rest.back() == ',';
    while (!rest.empty()) {
        int n;
        if (!ParsePortNumber(SplitToken(rest, ','), n)) {
            list.ports.clear();
            break;
        }
        if (std::find(list.ports.begin(), list.ports.end(), n) == list.ports.end())
            list.ports.push_back(n);
    }
    if (list.ports.empty() || endsInComma) {
        list = DefaultPorts();
        list.strMessage = kRefused;
    }
    return list;
}

PortList ReadPortList(const Profile& profile) {
    return ParsePortList(profile.GetString("Setting", "Ports", ""));
}

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

std::string PortDeviceName(int port) {
    // COM10 and up exist only in the device namespace.
    return port >= 10 ? "\\\\.\\" + PortName(port) : PortName(port);
}
