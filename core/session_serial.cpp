// Serial numbers: the setup, the label and patched checksum, and the words
// written into each chip around a programming pass.
#include "core/session.h"
#include "writer/protocol.h"

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

bool Session::ReserveSerialNumber() {
    // The number after this chip's goes into [Serial] Data before the chip is
    // programmed: a crash or a power cut then costs at most an unused number,
    // never a number written into two chips. The number in memory stays.
    const int next = static_cast<int>(NextSerial(m_serial.m_dwSerial));
    if (m_profile.WriteIntDurable("Serial", "Data", next)) return true;
    SetMessage(kSerialSaveFailed);
    m_front.Beep();
    ShowBox(kSerialSaveFailedBox);
    return false;
}

Outcome Session::PrepareSerial() {
    m_result.failedStep = Step::kSerialCheck;
    if (!CheckSerialBlank())
        return SerialFileBlank(m_serial, m_buffer) ? Outcome::kFailed : Outcome::kBadImage;
    m_result.failedStep = Step::kSerialSave;
    if (!ReserveSerialNumber()) return Outcome::kSerialNotSaved;
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
            m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
            ShowSerialNumber(1);
        }
        return Outcome::kFailed;
    }
    m_result.serial = SerialFate::kWritten;
    m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
    ShowSerialNumber(1);
    return Outcome::kPassed;
}
