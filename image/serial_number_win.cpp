#include "image/serial_number_win.h"

#include "app/resource.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "image/serial_number.h"
#include "writer/ops_host_win.h"

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

SerialNumber WriterDialog::SerialView() {
    return SerialNumber{m_bSerial, m_dwSerial, m_nSerialAddr, m_wSerialSave};
}

int WriterDialog::SerialSetup() {
    UpdateData(true);
    SerialNumber sn = SerialView();
    SerialNumberDialog dlg(m_hWnd);
    dlg.m_texts = SerialDialogInitialTexts(sn);
    if (dlg.DoModal() != IDOK) return IDCANCEL;
    m_dwSerial = dlg.m_result.dwSerial;
    for (int i = 0; i < 4; ++i) m_nSerialAddr[i] = dlg.m_result.nAddr[i];
    CheckSerialAddresses();
    UpdateData(false);
    if (m_bSerial) ShowSerialNumber(1);
    return IDOK;
}

void WriterDialog::ToggleSerial() {
    UpdateData(true);
    if (!m_bSerial) {
        m_bSerial = true;
        if (SerialSetup() != IDOK) {
            m_bSerial = false;
            return;
        }
        ShowSerialNumber(1);
        if (m_hMenu) CheckMenuItem(m_hMenu, ID_SN_ENABLE, MF_BYCOMMAND | MF_CHECKED);
    } else {
        if (m_hMenu) CheckMenuItem(m_hMenu, ID_SN_ENABLE, MF_BYCOMMAND | MF_UNCHECKED);
        ShowSerialNumber(0);
        ShowChecksum(1);
        m_bSerial = false;
    }
    UpdateData(false);
}

void WriterDialog::CheckSerialAddresses() {
    SerialNumber sn = SerialView();
    if (::CheckSerialAddresses(sn, *this)) fw::AppMessageBox(m_hWnd, kSerialRangeMessage);
}

void WriterDialog::ShowSerialNumber(int flag) {
    SerialNumber sn = SerialView();
    WriterOpsHost host(*this);
    ::ShowSerialNumber(sn, *this, host, flag != 0);
}
