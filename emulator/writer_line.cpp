#include "emulator/writer_line.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace emu {

Bytes WriterLine::Receive(const uint8_t* bytes, size_t count, uint64_t nowMs) {
    Bytes out;
    if (onReceive) onReceive(nowMs);
    if (muted) {
        Log("RX-IGNORED", Bytes(bytes, bytes + count));
        return out;
    }
    m_rx.insert(m_rx.end(), bytes, bytes + count);
    while (!m_rx.empty()) {
        const uint8_t len = m_rx[0];
        if (len < 3 || len > 134) {
            Log("RX-JUNK", {m_rx[0]});
            m_rx.erase(m_rx.begin());
            continue;
        }
        if (m_rx.size() < len) break;
        const Bytes frame(m_rx.begin(), m_rx.begin() + len);
        m_rx.erase(m_rx.begin(), m_rx.begin() + len);
        const Bytes reply = Serve(frame, nowMs);
        out.insert(out.end(), reply.begin(), reply.end());
    }
    return out;
}

void WriterLine::DropPartial() {
    if (m_rx.empty()) return;
    Log("RX-PARTIAL", m_rx);
    m_rx.clear();
}

Bytes WriterLine::Serve(const Bytes& frame, uint64_t nowMs) {
    if (Sum8(frame.data(), frame.size() - 1) != frame.back()) {
        Log("RX-BADSUM", frame);
        return {};  // a frame the writer cannot trust gets no answer
    }
    Log("RX", frame);
    if (onFrame) onFrame(frame, nowMs);
    if (muted) return {};  // unplugged by what the frame set off
    Bytes reply = model.Handle(frame, nowMs);
    Fault f;
    bool faulty = false;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->cmd != -1 && it->cmd != frame[1]) continue;
        if (it->skip > 0) {
            --it->skip;
            break;  // later faults wait behind this one
        }
        f = *it;
        faulty = true;
        if (--it->count <= 0) faults.erase(it);
        break;
    }
    if (!faulty) return reply;
    Note("fault " + f.kind);
    if (f.kind == "noreply") return {};
    if (f.kind == "refuse") reply = Reply({0x91});
    if (f.kind == "badsum" && !reply.empty()) reply.back() ^= 0x5A;
    if (f.kind == "badcode" && reply.size() > 2) {
        reply[1] = 0x7F;
        reply.back() = Sum8(reply.data(), reply.size() - 1);
    }
    if (f.kind == "double") {
        const Bytes once = reply;
        reply.insert(reply.end(), once.begin(), once.end());
    }
    if (f.kind == "garbage") reply.insert(reply.begin(), f.bytes.begin(), f.bytes.end());
    return reply;
}

bool WriterLine::Control(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty() || verb[0] == '#') return true;
    Note("control " + line);
    std::vector<std::string> args;
    for (std::string a; in >> a;) args.push_back(a);
    auto value = [&](const std::string& key, long def) {
        for (const std::string& a : args)
            if (a.compare(0, key.size() + 1, key + "=") == 0)
                return std::strtol(a.c_str() + key.size() + 1, nullptr, 16);
        return def;
    };
    auto hex = [](const std::string& s) { return std::strtoul(s.c_str(), nullptr, 16); };
    if (verb == "fault" && !args.empty()) {
        Fault f;
        f.kind = args[0];
        f.count = static_cast<int>(value("count", 1));
        f.cmd = static_cast<int>(value("cmd", -1));
        f.skip = static_cast<int>(value("skip", 0));
        for (const std::string& a : args) {
            if (a.compare(0, 6, "bytes=") != 0) continue;
            for (size_t i = 6; i + 1 < a.size() + 1; i += 2)
                f.bytes.push_back(static_cast<uint8_t>(hex(a.substr(i, 2))));
        }
        if (f.kind == "garbage" && f.bytes.empty()) f.bytes = {0x00};
        faults.push_back(f);
    } else if (verb == "clear") {
        faults.clear();
        model.ClearQueued();
    } else if (verb == "busy" && !args.empty()) {
        model.SetExtraBusy(static_cast<uint32_t>(std::strtoul(args[0].c_str(), nullptr, 10)),
                           static_cast<int>(value("cmd", -1)));
    } else if (verb == "swap" && !args.empty()) {
        model.swapChips = args[0] == "on" || args[0] == "auto";
        model.swapAfterAutoOnly = args[0] == "auto";
    } else if (verb == "stuck") {
        model.SetStuck(static_cast<int>(value("cmd", -1)));
    } else if (verb == "final" && !args.empty()) {
        model.SetFinalStatus(static_cast<uint8_t>(hex(args[0])), static_cast<int>(value("cmd", -1)),
                             static_cast<int>(value("count", 1)),
                             static_cast<int>(value("skip", 0)));
    } else if (verb == "unplug") {
        muted = true;
    } else if (verb == "plug") {
        muted = false;
    } else if (verb == "firmware" && args.size() == 2) {
        model.fwLow = static_cast<uint8_t>(hex(args[0]));
        model.fwHigh = static_cast<uint8_t>(hex(args[1]));
    } else if (verb == "selftest" && !args.empty()) {
        model.selftestFaults = static_cast<uint8_t>(hex(args[0]));
    } else if (verb == "chip") {
        Chip c;
        c.pid = static_cast<uint8_t>(value("pid", c.pid));
        c.powerOnId = static_cast<uint16_t>(value("power", c.powerOnId));
        c.softwareId = static_cast<uint16_t>(value("soft", c.softwareId));
        c.romWords = static_cast<uint32_t>(value("rom", c.romWords));
        c.optWords = static_cast<uint16_t>(value("opt", c.optWords));
        c.locked = value("locked", 0) != 0;
        model.chip = c;
    } else if (verb == "word" && args.size() == 2) {
        model.chip.words[hex(args[0])] = static_cast<uint16_t>(hex(args[1]));
    } else if (verb == "timing") {
        model.timing.stepMs = static_cast<uint32_t>(value("step", model.timing.stepMs));
        model.timing.eraseMs = static_cast<uint32_t>(value("erase", model.timing.eraseMs));
        model.timing.modeMs = static_cast<uint32_t>(value("mode", model.timing.modeMs));
    } else {
        Note("unknown control: " + line);
        return false;
    }
    return true;
}

}  // namespace emu
