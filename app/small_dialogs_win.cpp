#include "app/small_dialogs.h"

#include "app/resource.h"
#include "common/text_case.h"
#include "common/wide_text.h"

AboutDialog::AboutDialog(HWND parent) : fw::Dialog(IDD_ABOUTBOX, parent) {}

SetMcuDialog::SetMcuDialog(const BodyTable& bodies, HWND parent)
    : fw::Dialog(IDD_SET_MCU, parent), m_bodies(bodies) {}

void SetMcuDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_MCU_PROMPT, m_strPrompt);
    dx.Text(IDC_MCU_LABEL, m_strLabel);
}

bool SetMcuDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    HWND list = Item(IDC_MCU_LIST);
    std::string selected;
    for (const auto& entry : m_bodies) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry.first).c_str()));
        if (EqualsNoCase(entry.first, m_strBodyName)) selected = entry.first;
    }
    // The list sorts itself, so the chosen entry is found by its text once
    // every name is in.
    if (!selected.empty()) {
        const LRESULT n = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            const LRESULT len = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
            std::wstring text(static_cast<size_t>(len < 0 ? 0 : len) + 1, L'\0');
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<size_t>(len < 0 ? 0 : len));
            if (Narrow(text) == selected) {
                SendMessageW(list, CB_SETCURSEL, i, 0);
                break;
            }
        }
    }
    m_strPrompt = "If system cannot recognize the chip type, set as the following MCU:";
    m_strLabel = "MCU";
    UpdateData(false);
    return true;
}

void SetMcuDialog::OnOK() {
    HWND list = Item(IDC_MCU_LIST);
    const LRESULT sel = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR) {
        // Nothing chosen (empty table, or a current name not in it): there is
        // no body to hand back, so the dialog stays open.
        MessageBeep(MB_ICONEXCLAMATION);
        SetFocus(list);
        return;
    }
    const LRESULT len = SendMessageW(list, CB_GETLBTEXTLEN, sel, 0);
    std::wstring text(static_cast<size_t>(len < 0 ? 0 : len) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(len < 0 ? 0 : len));
    m_strBodyName = Narrow(text);
    fw::Dialog::OnOK();
}

AutoSetupDialog::AutoSetupDialog(HWND parent) : fw::Dialog(IDD_AUTO_SETUP, parent) {}

void AutoSetupDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Check(IDC_BLANK_CHECK, m_bBlank);
    dx.Check(IDC_LOCK, m_bLock);
    dx.Check(IDC_PROGRAM, m_bProgram);
    dx.Check(IDC_VERIFY, m_bVerify);
}

bool AutoSetupDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    if (m_bVoice) {
        EnableItem(IDC_LOCK, false);
        m_bLock = false;
    }
    UpdateData(false);
    return true;
}

McuOptionDialog::McuOptionDialog(HWND parent) : fw::Dialog(IDD_MCU_OPTION, parent) {}

void McuOptionDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_OPTION_REPORT, m_strReport);
}
