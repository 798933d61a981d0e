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
    return false;
}

CommandResult Session::DownloadPrompt() {
    if (m_bDownloaded || ShowBox(kDownloadPrompt, kBoxYesNo) != kAnswerYes) return {};
    // The flash may hold half an image now: nothing may be sent for the chip.
    const Outcome outcome = DownloadImage();
    return CommandResult::Of(outcome, outcome == Outcome::kPassed ? Step::kNone : Step::kDownload);
}

template <class Body>
CommandResult Session::Framed(Body body) {
    CommandResult r = body();
    // A pass stopped where its serial number could not be reserved had only
    // read the chip: it is as it came, and no chip of the line.
    r.bChipTouched = r.failedStep != Step::kSerialSave;
    const std::string firstFailure = m_now.shown;
    // A chip left in programming mode is no pass: the failure is the last
    // text shown, but the result names what failed first.
    if (ModeCommand(CMD_EXIT_PROG) != 0) {
        if (r.Passed()) {
            r.outcome = Outcome::kFailed;
            r.failedStep = Step::kExitProgramming;
        } else {
            m_now.shown = firstFailure;
        }
    }
    return r;
}

CommandResult Session::EnterProgramming() {
    if (ModeCommand(CMD_ENTER_PROG) != 0)
        return CommandResult::Of(Outcome::kFailed, Step::kEnterProgramming);
    if (m_bCheckId && WriterOperation(OP_ID_CHECK, 0) != 0) {
        SetMessage("ID Mismatch!");
        return CommandResult::Of(Outcome::kFailed, Step::kIdCheck);
    }
    return {};
}

CommandResult Session::RunOperation(uint8_t mask, int progressMax) {
    const uint8_t status = WriterOperation(mask, progressMax);
    if (status == 0) return {};
    return CommandResult::Of(Outcome::kFailed,
                             StepOfOperation(mask, status, m_link.LastBusyStatus()));
}

CommandResult Session::OperationPass(uint8_t mask, int progressMax, bool serial,
                                     const std::string& passText) {
    if (CommandResult r = EnterProgramming(); !r.Passed()) return r;
    if (serial)
        if (CommandResult r = PrepareSerial(); !r.Passed()) return r;
    if (CommandResult r = RunOperation(mask, progressMax); !r.Passed()) return r;
    CommandResult done;
    if (serial)
        if (done = FinishSerial(); !done.Passed()) return done;
    SetMessage(passText);
    return done;
}

CommandResult Session::BlankCheck() {
    return Exclusive(
        [this] {
            if (!m_link.EnsureConnected()) return CommandResult::Of(Outcome::kNoWriter);
            if (!CheckDriverBlock()) return CommandResult::Of(Outcome::kFailed, Step::kDriverCheck);
            return Framed(
                [&] { return OperationPass(OP_BLANK, DriverProgressMax(), false, "Blank!"); });
        },
        "Blank Check");
}

CommandResult Session::Program() {
    return Exclusive(
        [this] {
            if (!HasData()) return CommandResult::Of(Outcome::kBadImage, Step::kData);
            if (CommandResult r = DownloadPrompt(); !r.Passed()) return r;
            if (!m_link.EnsureConnected()) return CommandResult::Of(Outcome::kNoWriter);
            return Framed([&] {
                return OperationPass(OP_PROGRAM, static_cast<int>(m_buffer.m_nBinWords),
                                     m_serial.m_bSerial, "Program OK!");
            });
        },
        "Program");
}

CommandResult Session::Verify() {
    return Exclusive(
        [this] {
            if (!HasData()) return CommandResult::Of(Outcome::kBadImage, Step::kData);
            if (CommandResult r = DownloadPrompt(); !r.Passed()) return r;
            if (!m_link.EnsureConnected()) return CommandResult::Of(Outcome::kNoWriter);
            if (!CheckDriverBlock()) return CommandResult::Of(Outcome::kFailed, Step::kDriverCheck);
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

CommandResult Session::Lock() {
    return Exclusive(
        [this] {
            if (const Outcome o = BodyWithLockAndWriter(); o != Outcome::kPassed)
                return CommandResult::Of(o);
            return Framed([&] { return OperationPass(OP_LOCK, 0, false, "Lock OK!"); });
        },
        "Lock");
}

CommandResult Session::Auto() {
    return Exclusive(
        [this] {
            const AutoSteps& steps = m_auto;
            const AutoPlan plan =
                BuildAutoPlan(steps.bBlank, steps.bProgram, steps.bVerify, steps.bLock);
            // Nothing chosen, nothing done: no chip was touched, so no log line.
            if (plan.mask == 0) return CommandResult::Of(Outcome::kFailed);
            if ((steps.bProgram || steps.bVerify) && !HasData())
                return CommandResult::Of(Outcome::kBadImage, Step::kData);
            if (CommandResult r = DownloadPrompt(); !r.Passed()) return r;
            if (!m_link.EnsureConnected()) return CommandResult::Of(Outcome::kNoWriter);
            // The serial number goes in after the whole sequence, when it programs.
            return Framed([&] {
                return OperationPass(plan.mask, DriverProgressMax(),
                                     steps.bProgram && m_serial.m_bSerial, plan.text);
            });
        },
        "Auto");
}

CommandResult Session::ChipInfo() {
    return Exclusive(
        [this] {
            if (const Outcome o = BodyWithLockAndWriter(); o != Outcome::kPassed)
                return CommandResult::Of(o);
            CommandResult r = CommandResult::Of(Outcome::kFailed, Step::kChipInfo);
            r.bChipTouched = true;
            if (ModeCommand(CMD_ENTER_PROG) != 0) {
                r.failedStep = Step::kEnterProgramming;
                return r;
            }
            uint8_t data[256] = {};
            const uint8_t status = m_link.Identify(data, sizeof data);
            if (status != 0) {
                SayWriterError(status, false);
                const std::string firstFailure = m_now.shown;
                if (ModeCommand(CMD_EXIT_PROG) != 0) m_now.shown = firstFailure;
                return r;
            }
            const uint32_t addr = ChipInfoReadAddress(data[0], m_bodyTable, m_pBody);
            uint8_t words[256] = {};
            const uint8_t result = m_link.ReadBlock(addr, kChipInfoWords, words, sizeof words);
            ModeCommand(CMD_EXIT_PROG);
            if (result != 0) {
                ShowBox("Failed to get chip info!");
            } else {
                const ::ChipInfo info = ParseChipInfo(words, 2 * kChipInfoWords);
                const std::string name =
                    FindBodyName(m_bodyTable, info.wPowerOnID, info.wSoftwareID);
                ShowBox(FormatChipInfo(info, name), kBoxInformation);
                // A chip no body describes is not known to be the one meant.
                if (name.empty()) {
                    r.failedStep = Step::kUnknownChip;
                } else {
                    r.outcome = Outcome::kPassed;
                    r.failedStep = Step::kNone;
                }
            }
            return r;
        },
        "Chip Info");
}
