// [Setting] Ports comes from a file people edit by hand: whatever it holds, the
// search gets a list it can use.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "writer/port_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const PortList l = ParsePortList(value);
    if (l.ports.empty()) std::abort();
    for (size_t i = 0; i < l.ports.size(); ++i) {
        if (l.ports[i] < 1 || l.ports[i] > kMaxPortNumber) std::abort();
        if (std::count(l.ports.begin(), l.ports.end(), l.ports[i]) != 1) std::abort();
    }
    // A refused list searches exactly the old three ports.
    if (!l.strMessage.empty() && l.ports != std::vector<int>{1, 2, 3}) std::abort();

    int port = 0;
    if (ParsePortNumber(value, port) && (port < 1 || port > kMaxPortNumber)) std::abort();
    return 0;
}
