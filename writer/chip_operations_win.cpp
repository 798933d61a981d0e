#include "app/resource.h"
#include "app/writer_dialog.h"
#include "writer/ops_link_win.h"

void WriterDialog::RunChipOperation(void (ChipOps::*operation)()) {
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    OpsSession session(*this, Link(), OpsView());
    (session.chip.*operation)();
}

void WriterDialog::OnAuto() {
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    OpsSession(*this, Link(), OpsView())
        .chip.OnAuto({m_auto.bBlank, m_auto.bProgram, m_auto.bVerify, m_auto.bLock});
}

void WriterDialog::OnBlankCheck() {
    RunChipOperation(&ChipOps::OnBlankCheck);
}

void WriterDialog::OnProgram() {
    RunChipOperation(&ChipOps::OnProgram);
}

void WriterDialog::OnVerify() {
    RunChipOperation(&ChipOps::OnVerify);
}

void WriterDialog::OnLock() {
    RunChipOperation(&ChipOps::OnLock);
}

void WriterDialog::OnChipInfo() {
    RunChipOperation(&ChipOps::OnChipInfo);
}

void WriterDialog::OnCheckId() {
    m_bCheckId = !m_bCheckId;
    if (m_hMenu)
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                      MF_BYCOMMAND | (m_bCheckId ? MF_CHECKED : MF_UNCHECKED));
}
