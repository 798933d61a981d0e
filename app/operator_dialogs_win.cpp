#include "app/operator_dialogs.h"

#include "app/resource.h"

EntryDialog::EntryDialog(Kind kind, HWND parent)
    : fw::Dialog(kind == Kind::kLot ? IDD_LOT_NUMBER : IDD_PASSWORD, parent), m_kind(kind) {}

EntryDialog::~EntryDialog() {
    // A password is kept no longer than the dialog.
    m_strText.assign(m_strText.size(), '\0');
    m_strAgain.assign(m_strAgain.size(), '\0');
}

void EntryDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_ENTRY_PROMPT, m_strPrompt);
    dx.Text(IDC_ENTRY_TEXT, m_strText);
    if (m_kind == Kind::kNewPassword) dx.Text(IDC_ENTRY_TEXT2, m_strAgain);
}

bool EntryDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    if (m_kind == Kind::kPassword) {
        ShowWindow(Item(IDC_ENTRY_PROMPT2), SW_HIDE);
        ShowWindow(Item(IDC_ENTRY_TEXT2), SW_HIDE);
    }
    UpdateData(false);
    SetFocus(Item(IDC_ENTRY_TEXT));
    return false;  // the focus is set
}
