// Serial numbers: the setup, the label and patched checksum, and the words
// written into each chip around a programming pass.
#include <algorithm>
#include <cstdio>

#include "core/session.h"
#include "writer/protocol.h"

const char Session::kFoundAfterACrash[] =
    "Found after a crash: a program reserved it and ended before its fate was logged; it may "
    "be in a chip";

std::vector<uint32_t> Session::LogNumbersLeftByACrash(std::string& logFailure) {
    const std::vector<uint32_t> numbers = m_settingsSource.TakeOrphans();
    for (const uint32_t serial : numbers) {
        LogRecord r;
        r.time = LocalTimeNow();
        r.strFrontEnd = m_strFrontEndName;
        r.strOperation = "S/N";
        r.serial = SerialFate::kBurned;
        r.dwSerial = serial;
        r.strResult = kFoundAfterACrash;
        r.bVerdict = false;
        if (const std::string failure = m_log->Append(r); !failure.empty()) logFailure = failure;
    }
    return numbers;
}

void Session::UseSerialLock(const std::string& name) {
    m_settingsSource.UseLock(name);
}

void Session::SyncSerialNumber() {
    if (m_bSerialReserved) return;  // that number is ours already
    const uint32_t next = m_pSource->Peek();
    if (next == m_serial.m_dwSerial) return;
    m_serial.m_dwSerial = next;
    if (m_serial.m_bSerial) ShowSerialNumber(1);
}

bool Session::CheckSerialData() {
    if (m_pSource != &m_settingsSource) return true;
    const SerialSettings serial = ReadSerialSettings(m_profile);
    if (serial.bDataValid) return true;
    ShowBox(BadSerialDataText(serial.strData));
    return false;
}

void Session::CheckSerialAddresses() {
    if (::CheckSerialAddresses(m_serial, m_buffer)) ShowBox(kSerialRangeMessage);
}

void Session::ShowSerialNumber(int flag) {
    if (flag != 0) {
        Text(Slot::kSerial, FormatSerialLabel(m_serial.m_dwSerial));
        if (m_buffer.m_pBin)
            Text(Slot::kChecksum, FormatChecksum(PatchedChecksum(m_serial, m_buffer)));
    } else {
        Text(Slot::kSerial, std::string());
        if (m_buffer.m_pBin) Text(Slot::kChecksum, FormatChecksum(BufferChecksum(m_buffer)));
    }
}

void Session::SetSerialSetup(const SerialDialogResult& setup) {
    if (setup.dwSerial != m_serial.m_dwSerial && m_pSource == &m_settingsSource) {
        // A number the user chose is the next one for every program: it goes
        // into the file at once, and a number held for a chip is given up.
        LogUnusedSerial("Not used: the serial number was set anew");
        m_settingsSource.SetNext(setup.dwSerial);
    }
    m_serial.m_dwSerial = setup.dwSerial;
    for (int i = 0; i < 4; ++i) m_serial.m_nSerialAddr[i] = setup.nAddr[i];
    CheckSerialAddresses();
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
    if (m_bSerialReserved) return Outcome::kPassed;
    if (m_pSource == &m_settingsSource) m_settingsSource.NotBelow(m_serial.m_dwSerial);
    const SerialReservation r = m_pSource->Reserve();
    // The settings file's own texts; a ledger's text names what failed.
    if (r.take == SerialTake::kNotSaved && m_pSource == &m_settingsSource) {
        SetMessage(kSerialSaveFailed);
        Beep();
        ShowBox(kSerialSaveFailedBox);
        return Outcome::kSerialNotSaved;
    }
    switch (r.take) {
        case SerialTake::kTaken:
            break;
        case SerialTake::kNotSaved:
        case SerialTake::kUsedUp:
        case SerialTake::kBadValue:
        case SerialTake::kOffline:
            SetMessage(r.strText);
            Beep();
            ShowBox(r.strText);
            if (r.take == SerialTake::kOffline) return Outcome::kLedgerOffline;
            return r.take == SerialTake::kUsedUp ? Outcome::kSerialUsedUp
                                                 : Outcome::kSerialNotSaved;
    }
    m_bSerialReserved = true;
    if (r.dwSerial != m_serial.m_dwSerial) {
        m_serial.m_dwSerial = r.dwSerial;
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

CommandResult Session::PrepareSerial() {
    if (!CheckSerialBlank())
        return CommandResult::Of(
            SerialFileBlank(m_serial, m_buffer) ? Outcome::kFailed : Outcome::kBadImage,
            Step::kSerialCheck);
    if (const Outcome o = ReserveSerialNumber(); o != Outcome::kPassed)
        return CommandResult::Of(o, Step::kSerialSave);
    return {};
}

CommandResult Session::FinishSerial() {
    CommandResult r;
    r.dwSerial = m_serial.m_dwSerial;
    int framesSent = 0;
    if (!WriteSerialNumber(framesSent)) {
        r.outcome = Outcome::kFailed;
        r.failedStep = Step::kSerialWrite;
        // The writer may have burned a word and lost only its reply: a number
        // that may be in a chip is never handed out again.
        if (framesSent > 0) {
            r.serial = SerialFate::kBurned;
            m_bSerialReserved = false;
            if (m_serial.m_dwSerial != 0xFFFFFFFFu)
                m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
            ShowSerialNumber(1);
        }
        return r;
    }
    r.serial = SerialFate::kWritten;
    m_bSerialReserved = false;
    // The label never wraps to 0: after the last number the next chip is refused.
    if (m_serial.m_dwSerial != 0xFFFFFFFFu) m_serial.m_dwSerial = NextSerial(m_serial.m_dwSerial);
    ShowSerialNumber(1);
    return r;
}
