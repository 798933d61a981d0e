// Commands whose subsystems are not part of this build yet. Each says so on
// the message line instead of pretending to work; the real handlers replace
// these one by one.
#include "app/small_dialogs.h"
#include "app/writer_dialog.h"
#include "framework/application.h"

namespace {

std::string NotAvailable(const char* command) {
    return std::string(command) + " is not available in this build.";
}

}  // namespace

void WriterDialog::OnDetectConnect() {
    SetMessageLine(NotAvailable("Detect Connect"));
}

void WriterDialog::OnDownload() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Download"));
}

// The choice itself works; only sending the new driver to the writer is missing.
void WriterDialog::OnSelectMcu() {
    if (m_bBusy) return;
    SetMcuDialog dlg(m_bodyTable, m_hWnd);
    dlg.m_strBodyName = m_profile.GetString("Setting", "BodyName", "ZK30P11C-4");
    if (dlg.DoModal() != IDOK) return;
    m_profile.WriteString("Setting", "BodyName", dlg.m_strBodyName);
    m_pBody = SelectBody();
    SetMessageLine(NotAvailable("Sending the driver to the writer"));
}

void WriterDialog::OnDiagnosis() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Diagnosis"));
}

void WriterDialog::OnSerialByte(uint8_t byte) {
    if (m_nRxCount < static_cast<int>(sizeof m_rxBuf)) {
        m_rxBuf[m_nRxCount++] = byte;
    } else {
        fw::AppMessageBox(m_hWnd, "Receive Buffer overflow!");
    }
}

// No port is ever opened in this build.
void WriterDialog::CloseSerialPort() {
    m_nPort = -1;
}

void WriterDialog::OnAuto() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Auto"));
}

void WriterDialog::OnBlankCheck() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Blank Check"));
}

void WriterDialog::OnProgram() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Program"));
}

void WriterDialog::OnVerify() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Verify"));
}

void WriterDialog::OnLock() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Lock"));
}

void WriterDialog::OnChipInfo() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Chip Info"));
}

void WriterDialog::ShowOptions() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Option view"));
}

void WriterDialog::PrintOptions() {
    MessageBeep(MB_ICONEXCLAMATION);
    SetMessageLine(NotAvailable("Option printing"));
}
