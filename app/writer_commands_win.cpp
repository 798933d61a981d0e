// The writer and chip commands of the main window: each runs in the session,
// which refuses it while another one is under way.
#include "app/resource.h"
#include "app/small_dialogs.h"
#include "app/writer_dialog.h"

void WriterDialog::OnDetectConnect() {
    m_session.OnDetectConnect();
}

void WriterDialog::CloseSerialPort() {
    m_port.Close();
}

void WriterDialog::OnDownload() {
    m_session.OnDownload();
}

void WriterDialog::OnSelectMcu() {
    if (m_bBusy || m_session.IsRunning()) return;
    SetMcuDialog dlg(m_session.Bodies(), m_hWnd);
    dlg.m_strBodyName = SelectedBodyName(m_session.Settings());
    if (dlg.DoModal() != IDOK) return;
    m_session.OnSelectMcu(dlg.m_strBodyName);
}

void WriterDialog::OnDiagnosis() {
    m_session.OnDiagnosis();
}

void WriterDialog::OnAuto() {
    m_session.OnAuto();
}

void WriterDialog::OnBlankCheck() {
    m_session.OnBlankCheck();
}

void WriterDialog::OnProgram() {
    m_session.OnProgram();
}

void WriterDialog::OnVerify() {
    m_session.OnVerify();
}

void WriterDialog::OnLock() {
    m_session.OnLock();
}

void WriterDialog::OnChipInfo() {
    m_session.OnChipInfo();
}

void WriterDialog::OnCheckId() {
    m_session.ToggleCheckId();
    if (m_hMenu)
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                      MF_BYCOMMAND | (m_session.IsCheckId() ? MF_CHECKED : MF_UNCHECKED));
}
