#include "emulator/soak_faults.h"

#include "writer/protocol.h"

namespace emu {

std::string RandomFaults::Frame(const Bytes& frame, uint64_t nowMs) {
    if (frame.size() < 2 || frame[1] != CMD_ENTER_PROG) return std::string();
    if (std::uniform_real_distribution<double>(0, 1)(m_rng) >= m_rate) return std::string();
    static const char* const kKinds[] = {"noreply", "badsum",   "garbage",
                                         "verify",  "notblank", "unplug"};
    const std::string kind = kKinds[std::uniform_int_distribution<int>(0, 5)(m_rng)];
    // A chip's exchange is a dozen frames or more; the fault lands on one of them.
    const int skip = std::uniform_int_distribution<int>(0, 8)(m_rng);
    if (kind == "noreply" || kind == "badsum" || kind == "garbage") {
        m_line.Control("fault " + kind + " skip=" + std::to_string(skip));
    } else if (kind == "verify") {
        m_line.Control("final B3 cmd=59");
    } else if (kind == "notblank") {
        m_line.Control("word 0 1");
    } else {
        m_line.Control("unplug");
        m_plugAtMs = nowMs + std::uniform_int_distribution<uint64_t>(100, 600)(m_rng);
    }
    return kind;
}

void RandomFaults::Tick(uint64_t nowMs) {
    if (m_plugAtMs == 0 || nowMs < m_plugAtMs) return;
    m_plugAtMs = 0;
    m_line.Control("plug");
}

void ChipRecord::Operation(uint8_t mask, uint8_t final) {
    char text[32];
    std::snprintf(text, sizeof text, "op %02X %02X", mask, final);
    Event(text);
}

void ChipRecord::Word(uint32_t addr, uint16_t value) {
    char text[40];
    std::snprintf(text, sizeof text, "word %X %04X", addr, value);
    Event(text);
}

void ChipRecord::ChipOut() {
    Event("out");
    ++m_nChip;
}

void ChipRecord::Event(const std::string& text) {
    if (!m_out) return;
    std::fprintf(m_out, "chip %d %s\n", m_nChip, text.c_str());
    std::fflush(m_out);
}

}  // namespace emu
