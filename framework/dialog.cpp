#include "framework/dialog.h"

#include <vector>

#include "framework/application.h"
#include "common/wide_text.h"

namespace fw {

namespace {

std::wstring ItemText(HWND item) {
    const int len = GetWindowTextLengthW(item);
    std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
    const int got = GetWindowTextW(item, buf.data(), len + 1);
    buf.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return buf;
}

}  // namespace

HWND DataExchange::Item(int id) {
    if (!m_items) return GetDlgItem(m_hDlg, id);
    for (const auto& e : *m_items)
        if (e.first == id && IsWindow(e.second)) return e.second;
    HWND item = GetDlgItem(m_hDlg, id);
    if (item) m_items->push_back({id, item});
    return item;
}

void DataExchange::Text(int id, std::string& value) {
    HWND item = Item(id);
    if (!item) return;
    if (m_bSave) {
        value = Narrow(ItemText(item));
        return;
    }
    // Rewriting an unchanged text would still repaint the control and reset its
    // caret and scrolling; the link pushes the texts after every poll. One
    // read into a buffer one longer than the text tells equal from different.
    const std::wstring text = Widen(value);
    wchar_t shown[512];
    if (text.size() + 2 <= sizeof shown / sizeof shown[0]) {
        const int got = GetWindowTextW(item, shown, static_cast<int>(text.size()) + 2);
        if (got >= 0 && text.compare(0, text.npos, shown, static_cast<size_t>(got)) == 0) return;
        SetWindowTextW(item, text.c_str());
        return;
    }
    if (ItemText(item) != text) SetWindowTextW(item, text.c_str());
}

void DataExchange::Check(int id, bool& value) {
    if (m_bSave) {
        value = IsDlgButtonChecked(m_hDlg, id) == BST_CHECKED;
    } else {
        CheckDlgButton(m_hDlg, id, value ? BST_CHECKED : BST_UNCHECKED);
    }
}

Dialog::Dialog(UINT templateId, HWND parent) : m_hParent(parent), m_templateId(templateId) {}

INT_PTR Dialog::DoModal() {
    return DialogBoxParamW(AppInstance(), MAKEINTRESOURCEW(m_templateId), m_hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

bool Dialog::UpdateData(bool save) {
    if (!m_hWnd) return false;
    if (m_dxItemsOwner != m_hWnd) {
        m_dxItems.clear();
        m_dxItemsOwner = m_hWnd;
    }
    DataExchange dx(m_hWnd, save, &m_dxItems);
    DoDataExchange(dx);
    return true;
}

void Dialog::EnableItem(int id, bool enable) const {
    EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void Dialog::SetItemText(int id, const std::string& text) const {
    SetDlgItemTextW(m_hWnd, id, Widen(text).c_str());
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->m_hWnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = self->HandleMessage(msg, wp, lp);
    if (msg == WM_NCDESTROY) self->m_hWnd = nullptr;
    return result;
}

INT_PTR Dialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            return OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND: {
            UINT id = LOWORD(wp);
            UINT code = HIWORD(wp);
            // Only clicks, menu items and accelerators are commands; other
            // control notifications go to the message table.
            if (code == 0 || code == 1) {
                if (OnRoute(RouteKind::kCommand, id)) return TRUE;
                if (id == IDOK) {
                    OnOK();
                    return TRUE;
                }
                if (id == IDCANCEL) {
                    OnCancel();
                    return TRUE;
                }
            }
            break;
        }
        case WM_SYSCOMMAND:
            if (OnRoute(RouteKind::kSysCommand, static_cast<UINT>(wp & 0xFFF0))) return TRUE;
            break;
        default:
            break;
    }
    INT_PTR result = FALSE;
    if (OnMessage(msg, wp, lp, result)) return result;
    return FALSE;
}

}  // namespace fw
