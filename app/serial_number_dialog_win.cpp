#include "app/serial_number_dialog.h"

#include "app/resource.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "image/serial_number.h"

namespace {
constexpr int kAddrIds[4] = {IDC_SN_ADDR0, IDC_SN_ADDR1, IDC_SN_ADDR2, IDC_SN_ADDR3};
constexpr int kDataIds[4] = {IDC_SN_DATA0, IDC_SN_DATA1, IDC_SN_DATA2, IDC_SN_DATA3};
}  // namespace

SerialNumberDialog::SerialNumberDialog(HWND parent) : fw::Dialog(IDD_SERIAL_NUMBER, parent) {}

void SerialNumberDialog::DoDataExchange(fw::DataExchange& dx) {
    for (int i = 0; i < 4; ++i) {
        dx.Text(kAddrIds[i], m_texts.addr[i]);
        dx.Text(kDataIds[i], m_texts.data[i]);
    }
}

bool SerialNumberDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    for (int id : kDataIds) SendMessageW(Item(id), EM_LIMITTEXT, 2, 0);
    return true;
}

void SerialNumberDialog::OnOK() {
    UpdateData(true);
    const std::string message = ValidateSerialDialog(m_texts, m_result);
    if (!message.empty()) {
        fw::AppMessageBox(m_hWnd, message);
        return;
    }
    EndDialog(IDOK);
}

int WriterDialog::SerialSetup() {
    if (m_bBusy) return IDCANCEL;
    UpdateData(true);
    SerialNumberDialog dlg(m_hWnd);
    // Other programs may have handed out numbers since: the dialog offers the next free one.
    m_session.SyncSerialNumber();
    dlg.m_texts = SerialDialogInitialTexts(m_session.Serial());
    if (dlg.DoModal() != IDOK) return IDCANCEL;
    m_session.SetSerialSetup(dlg.m_result);
    return IDOK;
}

void WriterDialog::ToggleSerial() {
    if (m_bBusy) return;
    UpdateData(true);
    if (!m_session.Serial().m_bSerial) {
        m_session.SetSerialOn(true);
        // Said now, not at the first chip; a number set in the dialog mends it.
        m_session.CheckSerialData();
        if (SerialSetup() != IDOK) {
            m_session.SetSerialOn(false);
            return;
        }
        m_session.ShowSerialNumber(1);
        if (m_hMenu) CheckMenuItem(m_hMenu, ID_SN_ENABLE, MF_BYCOMMAND | MF_CHECKED);
    } else {
        if (m_hMenu) CheckMenuItem(m_hMenu, ID_SN_ENABLE, MF_BYCOMMAND | MF_UNCHECKED);
        m_session.ShowSerialNumber(0);
        m_session.ShowChecksum(1);
        m_session.SetSerialOn(false);
    }
    UpdateData(false);
}
