#include "emulator/model_port.h"

#include <algorithm>

namespace emu {

bool ModelPort::Open(int number) {
    if (missing.count(number)) return false;
    m_open = number;
    opened.push_back(number);
    pending.clear();
    return true;
}

void ModelPort::Close() {
    ++closes;
    m_open = 0;
    pending.clear();
    inFlight.clear();
}

void ModelPort::Write(const uint8_t* bytes, size_t count) {
    if (m_open == 0 || count == 0) return;
    const Bytes frame(bytes, bytes + count);
    sent.push_back(frame);
    pending.assign(inFlight.begin(), inFlight.end());  // the rest is purged before a write
    inFlight.clear();
    if (m_open != writerPort) return;
    if (beforeReply) beforeReply(frame);
    const Bytes reply = script ? script(frame) : line.Receive(bytes, count, now);
    pending.insert(pending.end(), reply.begin(), reply.end());
}

size_t ModelPort::Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) {
    // The writer's whole reply is there at once: nothing more can come by
    // waiting for the rest of `want`.
    if (want == 0 || want > size) std::abort();
    wants.push_back(want);
    if (pending.empty() && !inFlight.empty()) {
        ++now;
        pending.swap(inFlight);
    }
    if (pending.empty()) {
        ++reads;
        now += timeoutMs;
        return 0;
    }
    size_t n = std::min(size, pending.size());
    if (chunk) n = std::min(n, chunk);
    std::copy(pending.begin(), pending.begin() + static_cast<long>(n), dest);
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(n));
    return n;
}

int ModelPort::CountSent(uint8_t code) const {
    return static_cast<int>(std::count_if(
        sent.begin(), sent.end(), [code](const Bytes& f) { return f.size() > 1 && f[1] == code; }));
}

}  // namespace emu
