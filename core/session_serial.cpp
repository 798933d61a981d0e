// Serial numbers: the setup, the label and patched checksum, and the words
// written into each chip around a programming pass.
#include <algorithm>
#include <cstdio>

#include "core/session.h"
#include "writer/protocol.h"

namespace {
std::string UsedUpText(uint32_t next, uint32_t end) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The serial numbers of this station are used up: the next one, %08XH, lies past "
                  "[Serial] End (%08XH) in 'Larkspur.ini'.\nThe chip has not been programmed.",
                  static_cast<unsigned>(next), static_cast<unsigned>(end));
    return text;
}
}  // namespace

void Session::UseSerialLock(const std::string& name) {
    m_pSerialLock = std::make_unique<ProcessLock>(name);
}

void Session::SyncSerialNumber() {
    if (m_bSerialReserved) return;  // that number is ours already
    uint32_t next;
    {
        ProcessLockGuard guard(m_pSerialLock.get());
        next = std::max(m_serial.m_dwSerial, ReadSerialSettings(m_profile).dwData);
    }
    if (next == m_serial.m_dwSerial) return;
    m_serial.m_dwSerial = next;
    if (m_serial.m_bSerial) ShowSerialNumber(1);
}

void Session::CheckSerialAddresses() {
    if (::CheckSerialAddresses(m_serial, m_buffer)) ShowBox(kSerialRangeMessage);
}

void Session::ShowSerialNumber(int flag) {
    if (flag != 0) {
        m_front.SetText(FrontText::kSerial, FormatSerialLabel(m_serial.m_dwSerial));
        if (m_buffer.m_pBin)
            m_front.SetText(FrontText::kChecksum,
                            FormatChecksum(PatchedChecksum(m_serial, m_buffer)));
    } else {
        m_front.SetText(FrontText::kSerial, std::string());
        if (m_buffer.m_pBin)
            m_front.SetText(FrontText::kChecksum, FormatChecksum(BufferChecksum(m_buffer)));
    }
    m_front.PushTexts();
}

void Session::SetSerialSetup(const SerialDialogResult& setup) {
    if (setup.dwSerial != m_serial.m_dwSerial) {
        // A number the user chose is the next one for every program: it goes
        // into the file at once, and a number held for a chip is given up.
        LogUnusedSerial("Not used: the serial number was set anew");
        ProcessLockGuard guard(m_pSerialLock.get());
        m_profile.WriteIntDurable("Serial", "Data", static_cast<int>(setup.dwSerial));
    }
    m_serial.m_dwSerial = setup.dwSerial;
    for (int i = 0; i < 4; ++i) m_serial.m_nSerialAddr[i] = setup.nAddr[i];
    CheckSerialAddresses();
    m_front.PushTexts();
    if (m_serial.m_bSerial) ShowSerialNumber(1);
}

bool Session::CheckSerialBlank() {
    // The chip first: a failed read counts as blank.
    for (uint32_t a : m_serial.m_nSerialAddr) {
        if (m_link.ReadWord(a) != 0) {
            ShowBox(kSerialChipNotBlank);
            return false;
        }
    }
    if (!SerialFileBlank(m_serial, m_buffer)) {
        ShowBox(kSerialFileNotBlank);
        return false;
    }
    return true;
}

bool Session::WriteSerialNumber(int& framesSent) {
    framesSent = 0;
    for (int i = 0; i < 4; ++i) {
        ++framesSent;
        if (m_link.WriteWord(m_serial.m_nSerialAddr[i], SerialByte(m_serial.m_dwSerial, i)) != 0) {
            SetMessage(kSerialWriteFailed);
            return false;
        }
    }
    return true;
}

Outcome Session::ReserveSerialNumber() {
    // A number taken earlier and not used stays this session's: the file
    // moved past it then, so no other program hands it out.
    if (m_bSerialReserved) return Outcome::kPassed;
    ProcessLockGuard guard(m_pSerialLock.get());
    const uint32_t next =
        std::max(m_serial.m_dwSerial, ReadSerialSettings(m_profile).dwData);  // unsigned order
    if (m_bSerialEnd && next > m_dwSerialEnd) {
        SetMessage(UsedUpText(next, m_dwSerialEnd));
        m_front.Beep();
        ShowBox(UsedUpText(next, m_dwSerialEnd));
        return Outcome::kSerialUsedUp;
    }
    // The number after this chip's is saved before the chip is programmed: a
    // crash or a power cut then costs at most an unused number, never a
    // number written into two chips.
    if (!guard.Held() ||
        !m_profile.WriteIntDurable("Serial", "Data", static_cast<int>(NextSerial(next)))) {
        SetMessage(kSerialSaveFailed);
        m_front.Beep();
        ShowBox(kSerialSaveFailedBox);
        return Outcome::kSerialNotSaved;
    }
    m_bSerialReserved = true;
    if (next != m_serial.m_dwSerial) {
        m_serial.m_dwSerial = next;
        ShowSerialNumber(1);
    }
    return Outcome::kPassed;
}

void Session::LogUnusedSerial(const char* why) {
    if (!m_bSerialReserved) return;
    m_bSerialReserved = false;
    CommandResult unused;
    unused.serial = SerialFate::kUnused;
    unused.dwSerial = m_serial.m_dwSerial;
    unused.strText = why;
    LogOperation("S/N", unused);
}

Outcome Session::PrepareSerial() {
    m_result.failedStep = Step::kSerialCheck;
    if (!CheckSerialBlank())
        return SerialFileBlank(m_serial, m_buffer) ? Outcome::kFailed : Outcome::kBadImage;
    m_result.failedStep = Step::kSerialSave;
    if (const Outcome o = ReserveSerialNumber(); o != Outcome::kPassed) {
        // The chip was only read: it is as it came, and no chip of the line.
        m_result.bChipTouched = false;
        return o;
    }
    m_result.failedStep = Step::kNone;
    return Outcome::kPassed;
}

Outcome Session::FinishSerial() {
    m_result.dwSerial = m_serial.m_dwSerial;
    int framesSent = 0;
    if (!WriteSerialNumber(framesSent)) {
        m_result.failedStep = Step::kSerialWrite;
        // The writer may have burned a word and lost only its reply: a number
        // that may be in a chip is never handed out again.
        if (framesSent > 0) {
            m_result.serial = SerialFate::kBurned;
            m_bSerialReserved = false;
            m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
            ShowSerialNumber(1);
        }
        return Outcome::kFailed;
    }
    m_result.serial = SerialFate::kWritten;
    m_bSerialReserved = false;
    m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
    ShowSerialNumber(1);
    return Outcome::kPassed;
}
