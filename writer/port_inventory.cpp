#include "writer/port_inventory.h"

#include <algorithm>
#include <map>

#include "common/split_token.h"
#include "common/text_case.h"
#include "writer/port_identity.h"
#include "writer/port_list.h"

namespace {
// "COM7" in any case; "COM07" is another device, which "\\.\COM7" would not open.
bool ParseSightedName(const std::string& name, int& number) {
    if (name.size() < 4 || UpperAscii(name.substr(0, 3)) != "COM" || name[3] == '0') return false;
    return ParsePortNumber(name.substr(3), number);
}
}  // namespace

std::vector<PresentPort> MergePortSightings(const std::vector<PortSighting>& sightings) {
    std::map<int, PresentPort> byNumber;
    for (const PortSighting& s : sightings) {
        // The device map pads some names; the writer is opened by number alone.
        int n = 0;
        if (!ParseSightedName(TrimWhite(s.strName), n)) continue;
        PresentPort& p = byNumber[n];
        p.nNumber = n;
        p.sources |= s.source;
        // The first source that knows the device names it.
        if (p.strFriendlyName.empty()) p.strFriendlyName = s.strFriendlyName;
        if (p.strHardwareId.empty()) p.strHardwareId = s.strHardwareId;
        p.bUsb = p.bUsb || s.bUsb;
        if (p.strSerial.empty()) p.strSerial = s.strSerial;
        if (p.strLocation.empty()) p.strLocation = s.strLocation;
    }
    std::vector<PresentPort> out;
    for (auto& entry : byNumber) out.push_back(std::move(entry.second));
    MarkSerials(out);
    return out;
}

std::vector<std::string> PortSourceNames(unsigned sources) {
    std::vector<std::string> names;
    if (sources & kPortFromDeviceMap) names.push_back("serialcomm");
    if (sources & kPortFromDosDevice) names.push_back("dosdevice");
    if (sources & kPortFromSetupApi) names.push_back("setupapi");
    return names;
}
