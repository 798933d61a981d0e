// The chip operations behind the operation buttons. Each makes sure the writer
// answers, puts it into programming mode, runs one writer operation, leaves
// programming mode, and returns what it did.
#include "common/chip_family.h"
#include "core/session.h"
#include "writer/chip_operations.h"
#include "writer/protocol.h"

bool Session::HasData() {
    if (BufferHasData(m_buffer, m_bVoice)) return true;
    ShowBox(kNoDataMessage);
    m_result.failedStep = Step::kData;
    return false;
}

Outcome Session::DownloadPrompt() {
    if (m_bDownloaded || m_front.ShowBox(kDownloadPrompt, kBoxYesNo) != kAnswerYes)
        return Outcome::kPassed;
    // The flash may hold half an image now: nothing may be sent for the chip.
    const Outcome outcome = DownloadImage();
    if (outcome != Outcome::kPassed) m_result.failedStep = Step::kDownload;
    return outcome;
}

template <class Body>
Outcome Session::Framed(Body body) {
    m_front.EnableInput(false);
    m_result.bChipTouched = true;
    Outcome outcome = body();
    // A chip left in programming mode is no pass: the failure is the last text.
    if (m_link.PollingCommand(CMD_EXIT_PROG) != 0 && outcome == Outcome::kPassed) {
        outcome = Outcome::kFailed;
        m_result.failedStep = Step::kExitProgramming;
    }
    m_front.EnableInput(true);
    m_front.PushTexts();
    return outcome;
}

Outcome Session::EnterProgramming() {
    if (m_link.PollingCommand(CMD_ENTER_PROG) != 0) {
        m_result.failedStep = Step::kEnterProgramming;
        return Outcome::kFailed;
    }
    if (m_bCheckId && m_link.RunOperation(OP_ID_CHECK, 0) != 0) {
        SetMessage("ID Mismatch!");
        m_front.PushTexts();
        m_result.failedStep = Step::kIdCheck;
        return Outcome::kFailed;
    }
    m_front.PushTexts();
    return Outcome::kPassed;
}

Outcome Session::RunOperation(uint8_t mask, int progressMax) {
    const uint8_t status = m_link.RunOperation(mask, progressMax);
    if (status == 0) return Outcome::kPassed;
    m_result.failedStep = StepOfOperation(mask, status, m_link.LastBusyStatus());
    return Outcome::kFailed;
}

Outcome Session::OperationPass(uint8_t mask, int progressMax, bool serial,
                               const std::string& passText) {
    if (const Outcome o = EnterProgramming(); o != Outcome::kPassed) return o;
    if (serial)
        if (const Outcome o = PrepareSerial(); o != Outcome::kPassed) return o;
    if (const Outcome o = RunOperation(mask, progressMax); o != Outcome::kPassed) return o;
    if (serial)
        if (const Outcome o = FinishSerial(); o != Outcome::kPassed) return o;
    SetMessage(passText);
    return Outcome::kPassed;
}

CommandResult Session::OnBlankCheck() {
    return Exclusive(
        [this] {
            if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
            if (!CheckDriverBlock()) {
                m_result.failedStep = Step::kDriverCheck;
                return Outcome::kFailed;
            }
            return Framed(
                [&] { return OperationPass(OP_BLANK, DriverProgressMax(), false, "Blank!"); });
        },
        "Blank Check");
}

CommandResult Session::OnProgram() {
    return Exclusive(
        [this] {
            if (!HasData()) return Outcome::kBadImage;
            if (const Outcome o = DownloadPrompt(); o != Outcome::kPassed) return o;
            if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
            return Framed([&] {
                return OperationPass(OP_PROGRAM, static_cast<int>(m_buffer.m_nBinWords),
                                     m_serial.m_bSerial, "Program OK!");
            });
        },
        "Program");
}

CommandResult Session::OnVerify() {
    return Exclusive(
        [this] {
            if (!HasData()) return Outcome::kBadImage;
            if (const Outcome o = DownloadPrompt(); o != Outcome::kPassed) return o;
            if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
            if (!CheckDriverBlock()) {
                m_result.failedStep = Step::kDriverCheck;
                return Outcome::kFailed;
            }
            return Framed([&] {
                return OperationPass(OP_VERIFY, static_cast<int>(m_buffer.m_nBinWords), false,
                                     "Verify OK!");
            });
        },
        "Verify");
}

Outcome Session::BodyWithLockAndWriter() {
    if (IsUnsupportedLockBody(m_pBody)) {
        ShowBox(kNotSupportedMessage);
        return Outcome::kFailed;
    }
    return m_link.EnsureConnected() ? Outcome::kPassed : Outcome::kNoWriter;
}

CommandResult Session::OnLock() {
    return Exclusive(
        [this] {
            if (const Outcome o = BodyWithLockAndWriter(); o != Outcome::kPassed) return o;
            return Framed([&] { return OperationPass(OP_LOCK, 0, false, "Lock OK!"); });
        },
        "Lock");
}

CommandResult Session::OnAuto() {
    return Exclusive(
        [this] {
            const AutoSteps& steps = m_auto;
            const AutoPlan plan =
                BuildAutoPlan(steps.bBlank, steps.bProgram, steps.bVerify, steps.bLock);
            // Nothing chosen, nothing done: no chip was touched, so no log line.
            if (plan.mask == 0) return Outcome::kFailed;
            if ((steps.bProgram || steps.bVerify) && !HasData()) return Outcome::kBadImage;
            if (const Outcome o = DownloadPrompt(); o != Outcome::kPassed) return o;
            if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
            // The serial number goes in after the whole sequence, when it programs.
            return Framed([&] {
                return OperationPass(plan.mask, DriverProgressMax(),
                                     steps.bProgram && m_serial.m_bSerial, plan.text);
            });
        },
        "Auto");
}

CommandResult Session::OnChipInfo() {
    return Exclusive(
        [this] {
            if (const Outcome o = BodyWithLockAndWriter(); o != Outcome::kPassed) return o;
            m_result.failedStep = Step::kChipInfo;
            m_result.bChipTouched = true;
            m_front.EnableInput(false);
            if (m_link.PollingCommand(CMD_ENTER_PROG) != 0) {
                m_front.EnableInput(true);
                m_result.failedStep = Step::kEnterProgramming;
                return Outcome::kFailed;
            }
            uint8_t data[256] = {};
            const Frame identify = MakeSimpleFrame(CMD_IDENTIFY, 0x00);
            const uint8_t status = static_cast<uint8_t>(
                m_link.Request(identify.bytes, identify.size, CMD_IDENTIFY, data, sizeof data));
            if (status != 0) {
                m_link.ShowWriterError(status, false);
                m_link.PollingCommand(CMD_EXIT_PROG);
                m_front.EnableInput(true);
                return Outcome::kFailed;
            }
            const uint32_t addr = ChipInfoReadAddress(data[0], m_bodyTable, m_pBody);
            const Frame read = MakeReadBlockFrame(addr, kChipInfoWords);
            uint8_t words[256] = {};
            const uint16_t result =
                m_link.Request(read.bytes, read.size, CMD_READ_BLOCK, words, sizeof words);
            m_link.PollingCommand(CMD_EXIT_PROG);
            Outcome outcome = Outcome::kFailed;
            if (result != 0) {
                ShowBox("Failed to get chip info!");
            } else {
                const ChipInfo info = ParseChipInfo(words, 2 * kChipInfoWords);
                const std::string name =
                    FindBodyName(m_bodyTable, info.wPowerOnID, info.wSoftwareID);
                ShowBox(FormatChipInfo(info, name), kBoxInformation);
                // A chip no body describes is not known to be the one meant.
                outcome = name.empty() ? Outcome::kFailed : Outcome::kPassed;
                m_result.failedStep = name.empty() ? Step::kUnknownChip : Step::kNone;
            }
            m_front.EnableInput(true);
            return outcome;
        },
        "Chip Info");
}
