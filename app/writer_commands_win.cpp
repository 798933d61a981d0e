// The writer and chip commands of the main window: each runs on the worker,
// one at a time.
#include "app/resource.h"
#include "app/small_dialogs.h"
#include "app/writer_dialog.h"

void WriterDialog::OnDetectConnect() {
    RunCommand([this] { return m_session.DetectConnect(); });
}

void WriterDialog::CloseSerialPort() {
    m_port.Close();
}

void WriterDialog::OnDownload() {
    RunCommand([this] { return m_session.Download(); });
}

void WriterDialog::OnSelectMcu() {
    if (m_bBusy) return;
    SetMcuDialog dlg(m_session.Bodies(), m_hWnd);
    dlg.m_strBodyName = SelectedBodyName(m_session.Settings());
    if (dlg.DoModal() != IDOK) return;
    RunCommand([this, name = dlg.m_strBodyName] { return m_session.SelectMcu(name); });
}

void WriterDialog::OnDiagnosis() {
    RunCommand([this] { return m_session.Diagnosis(); });
}

void WriterDialog::OnAuto() {
    RunCommand([this] { return m_session.Auto(); },
               [this](const CommandResult& result) { CountChip(result); });
}

void WriterDialog::OnBlankCheck() {
    RunCommand([this] { return m_session.BlankCheck(); });
}

void WriterDialog::OnProgram() {
    RunCommand([this] { return m_session.Program(); });
}

void WriterDialog::OnVerify() {
    RunCommand([this] { return m_session.Verify(); });
}

void WriterDialog::OnLock() {
    RunCommand([this] { return m_session.Lock(); });
}

void WriterDialog::OnChipInfo() {
    RunCommand([this] { return m_session.ChipInfo(); });
}

void WriterDialog::OnCheckId() {
    if (m_bBusy) return;
    m_session.ToggleCheckId();
    if (m_hMenu)
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                      MF_BYCOMMAND | (m_session.IsCheckId() ? MF_CHECKED : MF_UNCHECKED));
}
