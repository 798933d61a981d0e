#include "writer/chip_operations.h"

#include <cstdio>
#include <vector>

#include "common/chip_family.h"
#include "image/pc_buffer.h"
#include "image/serial_number.h"
#include "core/session.h"
#include "writer/download.h"
#include "writer/protocol.h"

const char kNoDataMessage[] = "There is no data in the PC buffer.";
const char kDownloadPrompt[] = "The current file has not been downloaded,\nDownload it?";
const char kNotSupportedMessage[] = "This function is not supported!";

namespace {
constexpr uint8_t kChipInfoWords = 0x20;

uint16_t WordAt(const uint8_t* data, size_t count, size_t n) {
    const uint8_t lo = 2 * n < count ? data[2 * n] : 0;
    const uint8_t hi = 2 * n + 1 < count ? data[2 * n + 1] : 0;
    return static_cast<uint16_t>(lo | hi << 8);
}
}  // namespace

bool BufferHasData(const PcBuffer& buf, bool voice) {
    return buf.m_pBin && (voice || buf.m_pOpt);
}

bool IsUnsupportedLockBody(const BodyRecord* body) {
    return body != nullptr && FamilyOf(body->nPID).voice;
}

AutoPlan BuildAutoPlan(bool blank, bool program, bool verify, bool lock) {
    AutoPlan plan;
    const struct {
        bool on;
        uint8_t bit;
        const char* text;
    } steps[] = {{blank, OP_BLANK, "Blank Check"},
                 {program, OP_PROGRAM, "Programming"},
                 {verify, OP_VERIFY, "Verify"},
                 {lock, OP_LOCK, "Lock"}};
    for (const auto& s : steps) {
        if (!s.on) continue;
        if (plan.mask != 0) plan.text += "/";
        plan.mask |= s.bit;
        plan.text += s.text;
    }
    plan.text += " OK!";
    return plan;
}

ChipInfo ParseChipInfo(const uint8_t* data, size_t count) {
    ChipInfo info;
    info.bLocked = (WordAt(data, count, 0) & 1) != 0;
    info.wPowerOnID = WordAt(data, count, 16);
    info.wSoftwareID = WordAt(data, count, 17);
    info.nRomSize = static_cast<uint32_t>(WordAt(data, count, 19) & 0x3FFF) << 14 |
                    (WordAt(data, count, 18) & 0x3FFF);
    info.wOptSize = WordAt(data, count, 20);
    return info;
}

uint32_t ChipInfoReadAddress(uint8_t idByte, const BodyTable& bodies, const BodyRecord* body) {
    for (const auto& entry : bodies)
        if (entry.second->nPID == idByte) return FamilyOf(idByte).chipInfoAddress;
    // An unknown chip and no body to go by: the usual place of the words.
    return body ? body->dwOptAddr : OtherChipsFamily().chipInfoAddress;
}

std::string FormatChipInfo(const ChipInfo& info, const std::string& name) {
    const char* lock = info.bLocked ? "\nChip is locked!" : "";
    char text[256];
    if (!name.empty())
        std::snprintf(text, sizeof text,
                      "MCU:%s\nPower-on ID: %02XH\n\nSoftware ID: %02XH\nROM Size: %04XH\nOPT "
                      "Size: %02XH\n%s",
                      name.c_str(), info.wPowerOnID, info.wSoftwareID,
                      static_cast<unsigned>(info.nRomSize), info.wOptSize, lock);
    else
        std::snprintf(text, sizeof text,
                      "MCU:Cannot identify\n\nPower-on ID: %02XH\nSoftware ID: %02XH\nROM Size: "
                      "%04XH\nOPT Size: %02XH\n%s",
                      info.wPowerOnID, info.wSoftwareID, static_cast<unsigned>(info.nRomSize),
                      info.wOptSize, lock);
    return text;
}

bool Session::CheckData() {
    if (BufferHasData(m_buffer, m_bVoice)) return true;
    m_front.ShowBox(kNoDataMessage);
    return false;
}

void Session::DownloadPrompt() {
    if (!m_bDownloaded && m_front.ShowBox(kDownloadPrompt, kBoxYesNo) == kAnswerYes)
        DownloadImage();
}

template <class Body>
bool Session::Framed(Body body) {
    m_front.EnableInput(false);
    const bool ok = body();
    // A chip left in programming mode is no pass: the failure is the last text.
    const bool left = m_link.PollingCommand(CMD_EXIT_PROG) == 0;
    m_front.EnableInput(true);
    m_front.PushTexts();
    return ok && left;
}

int Session::DriverProgressMax() const {
    // Without a known driver body there is no size to measure progress by.
    return m_pDriverBody ? static_cast<int>(m_pDriverBody->nRomWords) : 0;
}

bool Session::EnterProgramming() {
    if (m_link.PollingCommand(CMD_ENTER_PROG) != 0) return false;
    if (m_bCheckId && m_link.RunOperation(OP_ID_CHECK, 0) != 0) {
        SetMessage("ID Mismatch!");
        m_front.PushTexts();
        return false;
    }
    m_front.PushTexts();
    return true;
}

bool Session::PrepareSerial() {
    return CheckSerialBlank(m_serial, m_buffer, m_link, m_front) &&
           ReserveSerialNumber(m_serial, m_profile, m_front);
}

bool Session::FinishSerial() {
    SerialNumber& sn = m_serial;
    m_bSerialWritten = true;  // even when it fails: the chip may hold part of it
    m_dwLoggedSerial = sn.m_dwSerial;
    if (!WriteSerialNumber(sn, m_link, m_front)) return false;
    sn.m_dwSerial = NextSerial(sn.m_dwSerial);
    ShowSerialNumber(1);
    return true;
}

void Session::OnBlankCheck() {
    Exclusive([this] {
        Logged("Blank Check", [this] {
            if (!m_link.EnsureConnected() || !CheckDriverBlock()) return false;
            return Framed([&] {
                if (!EnterProgramming()) return false;
                if (m_link.RunOperation(OP_BLANK, DriverProgressMax()) != 0) return false;
                SetMessage("Blank!");
                return true;
            });
        });
    });
}

void Session::OnProgram() {
    Exclusive([this] {
        Logged("Program", [this] {
            if (!CheckData()) return false;
            DownloadPrompt();
            if (!m_link.EnsureConnected()) return false;
            return Framed([&] {
                if (!EnterProgramming()) return false;
                const bool serial = m_serial.m_bSerial;
                if (serial && !PrepareSerial()) return false;
                if (m_link.RunOperation(OP_PROGRAM, static_cast<int>(m_buffer.m_nBinWords)) != 0)
                    return false;
                if (serial && !FinishSerial()) return false;
                SetMessage("Program OK!");
                return true;
            });
        });
    });
}

void Session::OnVerify() {
    Exclusive([this] {
        Logged("Verify", [this] {
            if (!CheckData()) return false;
            DownloadPrompt();
            if (!m_link.EnsureConnected() || !CheckDriverBlock()) return false;
            return Framed([&] {
                if (!EnterProgramming()) return false;
                if (m_link.RunOperation(OP_VERIFY, static_cast<int>(m_buffer.m_nBinWords)) != 0)
                    return false;
                SetMessage("Verify OK!");
                return true;
            });
        });
    });
}

void Session::OnLock() {
    Exclusive([this] {
        Logged("Lock", [this] {
            if (IsUnsupportedLockBody(m_pBody)) {
                m_front.ShowBox(kNotSupportedMessage);
                return false;
            }
            if (!m_link.EnsureConnected()) return false;
            return Framed([&] {
                if (!EnterProgramming()) return false;
                if (m_link.RunOperation(OP_LOCK, 0) != 0) return false;
                SetMessage("Lock OK!");
                return true;
            });
        });
    });
}

void Session::OnAuto() {
    Exclusive([this] {
        const AutoSteps& flags = m_auto;
        const AutoPlan plan =
            BuildAutoPlan(flags.bBlank, flags.bProgram, flags.bVerify, flags.bLock);
        if (plan.mask == 0) return;  // nothing to do, nothing to log
        Logged("Auto", [&] {
            if ((flags.bProgram || flags.bVerify) && !CheckData()) return false;
            DownloadPrompt();
            if (!m_link.EnsureConnected()) return false;
            return Framed([&] {
                if (!EnterProgramming()) return false;
                const bool serial = flags.bProgram && m_serial.m_bSerial;
                if (serial && !PrepareSerial()) return false;
                if (m_link.RunOperation(plan.mask, DriverProgressMax()) != 0) return false;
                if (serial && !FinishSerial()) return false;
                SetMessage(plan.text);
                return true;
            });
        });
    });
}

void Session::OnChipInfo() {
    Exclusive([this] {
        Logged("Chip Info", [this] {
            if (IsUnsupportedLockBody(m_pBody)) {
                m_front.ShowBox(kNotSupportedMessage);
                return false;
            }
            if (!m_link.EnsureConnected()) return false;
            m_front.EnableInput(false);
            if (m_link.PollingCommand(CMD_ENTER_PROG) != 0) {
                m_front.EnableInput(true);
                return false;
            }
            uint8_t data[256] = {};
            const Frame identify = MakeSimpleFrame(CMD_IDENTIFY, 0x00);
            const uint8_t status = static_cast<uint8_t>(
                m_link.Request(identify.bytes, identify.size, CMD_IDENTIFY, data, sizeof data));
            if (status != 0) {
                m_link.ShowWriterError(status, false);
                m_link.PollingCommand(CMD_EXIT_PROG);
                m_front.EnableInput(true);
                return false;
            }
            const uint32_t addr = ChipInfoReadAddress(data[0], m_bodyTable, m_pBody);
            const Frame read = MakeReadBlockFrame(addr, kChipInfoWords);
            uint8_t words[256] = {};
            const uint16_t result =
                m_link.Request(read.bytes, read.size, CMD_READ_BLOCK, words, sizeof words);
            m_link.PollingCommand(CMD_EXIT_PROG);
            if (result != 0) {
                m_front.ShowBox("Failed to get chip info!");
            } else {
                const ChipInfo info = ParseChipInfo(words, 2 * kChipInfoWords);
                const std::string name =
                    FindBodyName(m_bodyTable, info.wPowerOnID, info.wSoftwareID);
                m_front.ShowBox(FormatChipInfo(info, name), kBoxInformation);
            }
            m_front.EnableInput(true);
            return result == 0;
        });
    });
}
