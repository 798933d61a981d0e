#include "emulator/writer_model.h"

#include <algorithm>

#include "common/byte_order.h"
#include "common/chip_family.h"

namespace emu {

uint16_t Chip::Word(uint32_t addr) const {
    auto it = words.find(addr);
    return it == words.end() ? 0 : it->second;
}

uint8_t Sum8(const uint8_t* p, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + p[i]);
    return s;
}

Bytes Reply(Bytes body) {
    body.insert(body.begin(), static_cast<uint8_t>(body.size() + 2));
    body.push_back(Sum8(body.data(), body.size()));
    return body;
}

static Bytes Ack() {
    return Reply({0x90});
}
static Bytes Refuse() {
    return Reply({0x91});
}
static uint32_t Addr(const Bytes& f) {
    return GetLe24(&f[2]);
}

WriterModel::WriterModel() : flash(kFlashSize, 0xFF) {}

bool WriterModel::DriverValid() const {
    const uint8_t* d = flash.data() + kDriverAddr;
    return d[0] == 0x55 && d[1] == 0xAA && Sum8(d, 24) == d[24];
}

uint32_t WriterModel::DriverRomWords() const {
    const uint8_t* d = flash.data() + kDriverAddr;
    // The image lives below the driver area; a bigger size cannot be real.
    return std::min<uint32_t>(GetLe24(&d[5]), kDriverAddr / 2);
}

bool WriterModel::Busy(uint64_t now) const {
    if (!m_job) return false;
    if (m_job->stuck) return true;
    uint64_t total = 0;
    for (const Phase& p : m_job->phases) total += p.ms;
    return now - m_job->start < total;
}

uint16_t WriterModel::ImageWord(uint32_t addr) const {
    return GetLe16(&flash[2 * addr]);
}

void WriterModel::StartJob(const Bytes& frame, uint64_t now, std::vector<Phase> phases,
                           uint8_t final) {
    const uint8_t code = frame[1];
    if (m_extraBusyMs && (m_extraBusyCmd == -1 || m_extraBusyCmd == code)) {
        if (phases.empty()) phases.push_back({0xA0, 0});
        phases.back().ms += m_extraBusyMs;
        m_extraBusyMs = 0;
    }
    if (m_forcedFinal && (m_forcedFinal->cmd == -1 || m_forcedFinal->cmd == code)) {
        if (m_forcedFinal->skip > 0) {
            --m_forcedFinal->skip;
        } else {
            final = m_forcedFinal->status;
            if (--m_forcedFinal->count <= 0) m_forcedFinal.reset();
        }
    }
    Job job;
    job.code = code;
    job.param = frame.size() > 3 ? frame[2] : 0;
    job.start = now;
    job.phases = std::move(phases);
    job.final = final;
    job.progressWords = DriverValid() ? DriverRomWords() : chip.romWords;
    if (m_stuckNext && (m_stuckCmd == -1 || m_stuckCmd == code)) {
        job.stuck = true;
        m_stuckNext = false;
    }
    m_job = job;
}

Bytes WriterModel::Poll(uint64_t now) {
    // Status and progress, then, for an operation, the command they belong
    // to: a PC that lost its acknowledge learns from it that the operation was
    // taken. Other polls stay short, as the download's pace counts them.
    if (!m_job) return Reply({0x8E, 0x00, 0x00});
    const auto reply = [this](uint8_t status, uint8_t progress) {
        if (m_job->code != 0x59) return Reply({0x8E, status, progress});
        return Reply({0x8E, status, progress, m_job->code, m_job->param});
    };
    if (m_job->stuck)
        return reply(m_job->phases.empty() ? uint8_t(0xA0) : m_job->phases.back().status, 0x00);
    uint64_t t = now - m_job->start;
    for (const Phase& p : m_job->phases) {
        if (t < p.ms) {
            const uint64_t words = p.ms ? uint64_t(m_job->progressWords) * t / p.ms : 0;
            return reply(p.status, static_cast<uint8_t>(std::min<uint64_t>(words / 256, 255)));
        }
        t -= p.ms;
    }
    return reply(m_job->final,
                 static_cast<uint8_t>(std::min<uint32_t>(m_job->progressWords / 256, 255)));
}

uint8_t WriterModel::RunOperation(uint8_t mask, std::vector<Phase>& phases) {
    if ((mask & 0x3F) && !DriverValid()) return 0xB6;
    const uint32_t rom = DriverValid() ? DriverRomWords() : 0;
    if (mask & 0x01) {
        phases.push_back({0xA0, timing.modeMs});
        if (chip.pid != flash[kDriverAddr + 2]) return 0xB0;
    }
    if (mask & 0x02) {
        phases.push_back({0xA1, timing.stepMs});
        for (const auto& w : chip.words)
            if (w.first < rom && w.second != 0) return 0xB1;
    }
    if (mask & 0x04) {
        phases.push_back({0xA2, timing.stepMs});
        if (chip.locked) return 0xB7;
        // OTP cells only ever gain bits; verify notices what could not be set.
        for (uint32_t a = 0; a < rom; ++a) {
            const uint16_t w = static_cast<uint16_t>(chip.Word(a) | ImageWord(a));
            if (w) chip.words[a] = w;
        }
    }
    if (mask & 0x08) {
        phases.push_back({0xA3, timing.stepMs});
        if (chip.locked) return 0xB7;
        for (uint32_t a = 0; a < rom; ++a)
            if (chip.Word(a) != ImageWord(a)) return 0xB3;
    }
    if (mask & 0x10) {
        phases.push_back({0xA4, timing.stepMs / 4});
        chip.locked = true;
    }
    if (mask & 0x20) {
        phases.push_back({0xA5, timing.stepMs});
        if (chip.locked) return 0xB7;
        for (uint32_t a = 0; a < rom; ++a) PutLe16(&flash[2 * a], chip.Word(a));
    }
    if (mask & 0x40) {
        phases.push_back({0xA0, timing.modeMs});
        if (!DriverValid()) return 0xB6;
    }
    return 0x00;
}

Bytes WriterModel::Handle(const Bytes& f, uint64_t now) {
    const uint8_t code = f[1];
    const size_t n = f.size();
    switch (code) {
        case 0x5E:
            return Poll(now);
        case 0x5F:
            return Ack();
        case 0x60:
            return Reply({0xA0, fwLow, fwHigh});
        case 0x61:
            return Reply({0xA1, selftestFaults});
        default:
            break;
    }
    // A hung command does not block the next one; anything else still running does.
    if (m_job && m_job->stuck) m_job.reset();
    if (Busy(now)) return Refuse();

    switch (code) {
        case 0x51: {  // read flash
            if (n != 7) return Refuse();
            Bytes r{0x81};
            for (uint32_t i = 0; i < f[5]; ++i) {
                const uint32_t a = Addr(f) + i;
                r.push_back(a < kFlashSize ? flash[a] : 0xFF);
            }
            return Reply(r);
        }
        case 0x52: {  // read one chip word
            if (n != 6) return Refuse();
            const uint16_t w = chip.locked ? 0 : chip.Word(Addr(f));
            return Reply({0x82, static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
        }
        case 0x53: {  // read a block of configuration (or ROM) words
            if (n != 7 || f[5] > 126) return Refuse();
            Bytes r{0x83};
            const uint32_t base = Addr(f);
            for (uint32_t i = 0; i < f[5]; ++i) {
                uint16_t w;
                if (IsChipInfoAddress(base)) {
                    switch (i) {
                        case 0:
                            w = chip.locked ? 1 : 0;
                            break;
                        case 16:
                            w = chip.powerOnId;
                            break;
                        case 17:
                            w = chip.softwareId;
                            break;
                        case 18:
                            w = chip.romWords & 0x3FFF;
                            break;
                        case 19:
                            w = (chip.romWords >> 14) & 0x3FFF;
                            break;
                        case 20:
                            w = chip.optWords;
                            break;
                        default:
                            w = 0;
                            break;
                    }
                } else {
                    w = chip.Word(base + i);
                }
                AppendLe16(r, w);
            }
            return Reply(r);
        }
        case 0x54:
            return n == 4 ? Reply({0x84, chip.pid}) : Refuse();
        case 0x56: {  // write flash
            if (n < 7) return Refuse();
            const uint32_t a = Addr(f);
            const size_t count = n - 6;
            uint8_t status = 0;
            if (a + count > kFlashSize) {
                status = 0xB8;
            } else {
                // Flash bits only go from 1 to 0 without an erase.
                for (size_t i = 0; i < count; ++i)
                    if ((flash[a + i] & f[5 + i]) != f[5 + i]) status = 0xB8;
                if (status == 0) std::copy(f.begin() + 5, f.end() - 1, flash.begin() + a);
            }
            StartJob(f, now, {{0xA0, timing.flashMs}}, status);
            return Ack();
        }
        case 0x57: {  // program one chip word
            if (n != 8) return Refuse();
            uint8_t status = 0;
            if (chip.locked) {
                status = 0xB7;
            } else {
                const uint16_t w = static_cast<uint16_t>(chip.Word(Addr(f)) | GetLe16(&f[5]));
                chip.words[Addr(f)] = w;
                if (onWord) onWord(Addr(f), GetLe16(&f[5]));
            }
            StartJob(f, now, {{0xA2, timing.flashMs}}, status);
            return Ack();
        }
        case 0x59: {  // operation
            if (n != 4) return Refuse();
            if ((f[2] & 0x3F) && !progMode) return Refuse();
            std::vector<Phase> phases;
            // Blank check, program, verify, lock: more than one of them is an Auto pass.
            const uint8_t steps = f[2] & 0x1E;
            m_bAutoRan = m_bAutoRan || (steps & (steps - 1)) != 0;
            const uint8_t status = RunOperation(f[2], phases);
            StartJob(f, now, phases, status);
            if (onOperation) onOperation(f[2], m_job->final);
            return Ack();
        }
        case 0x5A:
        case 0x5B:
            if (n != 4) return Refuse();
            if (swapChips && progMode && code == 0x5B && (!swapAfterAutoOnly || m_bAutoRan)) {
                if (onChipOut) onChipOut();
                chip.words.clear();
                chip.locked = false;
            }
            progMode = code == 0x5A;
            m_bAutoRan = false;
            StartJob(f, now, {{0xA0, timing.modeMs}}, 0);
            return Ack();
        case 0x5C:
            if (n != 4) return Refuse();
            std::fill(flash.begin(), flash.end(), 0xFF);
            StartJob(f, now, {{0xA0, timing.eraseMs}}, 0);
            return Ack();
        case 0x5D: {  // erase one 4 KB sector, the driver's by default
            if (n != 4) return Refuse();
            const uint32_t start = uint32_t(f[2]) * kSectorSize;
            if (start >= kFlashSize) return Refuse();
            std::fill(flash.begin() + start, flash.begin() + start + kSectorSize, 0xFF);
            StartJob(f, now, {{0xA0, timing.sectorMs}}, 0);
            return Ack();
        }
        default:
            return Refuse();
    }
}

}  // namespace emu
