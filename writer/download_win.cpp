#include "app/small_dialogs.h"
#include "app/writer_dialog.h"
#include "writer/ops_link_win.h"

OpsState WriterDialog::OpsView() {
    return OpsState{*this,         m_bodyTable,   m_profile, m_pBody,    m_pDriverBody,
                    m_strFileName, m_bDownloaded, m_bVoice,  m_bCheckId, SerialView()};
}

void WriterDialog::OnDownload() {
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    OpsSession(*this, Link(), OpsView()).download.OnDownload();
}

bool WriterDialog::CheckDriver() {
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return false;
    return OpsSession(*this, Link(), OpsView()).download.CheckDriver();
}

void WriterDialog::OnSelectMcu() {
    if (m_bBusy || m_bOpsRunning) return;
    SetMcuDialog dlg(m_bodyTable, m_hWnd);
    dlg.m_strBodyName = SelectedBodyName(m_profile);
    if (dlg.DoModal() != IDOK) return;
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    OpsSession(*this, Link(), OpsView()).download.SelectMcu(dlg.m_strBodyName);
}

void WriterDialog::OnDiagnosis() {
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    OpsSession(*this, Link(), OpsView()).download.OnDiagnosis();
}
