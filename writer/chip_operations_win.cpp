#include "app/resource.h"
#include "app/writer_dialog.h"

void WriterDialog::OnCheckId() {
    m_bCheckId = !m_bCheckId;
    if (m_hMenu)
        CheckMenuItem(m_hMenu, ID_SETTINGS_CHECKID,
                      MF_BYCOMMAND | (m_bCheckId ? MF_CHECKED : MF_UNCHECKED));
}
