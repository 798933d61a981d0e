#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "app/win_helpers.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "framework/text.h"
#include "image/open_image.h"
#include "image/writer_image_host_win.h"
#include "writer/ops_link_win.h"

void WriterImageHost::SetMessage(const std::string& text) {
    m_dlg.m_strMessage = text;
}
void WriterImageHost::AppendMessage(const std::string& text) {
    m_dlg.m_strMessage += text;
}
void WriterImageHost::UpdateScreen() {
    m_dlg.PushTexts();
}
void WriterImageHost::ShowMessageBox(const std::string& text) {
    fw::AppMessageBox(m_dlg.GetSafeHwnd(), text);
}
void WriterImageHost::ShowChecksum(int flag) {
    m_dlg.ShowChecksum(flag);
}
void WriterImageHost::ResetHexView(int maxRow) {
    m_dlg.ResetHexView(maxRow);
}
const BodyRecord* WriterImageHost::SelectBodyByName(const std::string& name) {
    m_dlg.Settings().WriteString("Setting", "BodyName", name);
    m_dlg.m_pBody = m_dlg.SelectBody();
    return m_dlg.m_pBody;
}
void WriterImageHost::ClearSelectedBody() {
    m_dlg.m_pBody = nullptr;
}
const BodyTable& WriterImageHost::Bodies() const {
    return m_dlg.Bodies();
}
Profile& WriterImageHost::Settings() {
    return m_dlg.Settings();
}
void WriterImageHost::CheckSerialAddresses() {
    m_dlg.CheckSerialAddresses();
}
void WriterImageHost::PumpOneMessage() {
    ::PumpOneMessage();
}

namespace {

// Room for any path the dialog can return, not just MAX_PATH.
constexpr DWORD kPathChars = 32768;

// Asks for an image file; false when the user cancels or the dialog fails.
bool AskImagePath(HWND owner, std::string& path) {
    std::wstring filter = fw::Widen(kOpenDialogFilter);
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    const std::wstring title = fw::Widen(kOpenDialogTitle);
    const std::wstring defExt = fw::Widen(kOpenDialogDefExt);
    const std::wstring initial = fw::Widen(kOpenDialogInitialName);
    std::vector<wchar_t> file(kPathChars, L'\0');
    initial.copy(file.data(), initial.size());

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathChars;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = defExt.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return false;
    path = fw::Narrow(file.data());
    return true;
}

}  // namespace

void WriterDialog::OpenImageFile() {
    // Inside another command's waits (a posted Open, say) the new image would
    // mix with the one being sent; like the other commands it is dropped.
    if (m_bBusy) return;
    OpsGuard guard(m_bOpsRunning, [this] { UpdateOpenButton(); });
    if (!guard.Entered()) return;
    PullTexts();
    if (!m_strStartFile.empty()) {
        m_strFileName = m_strStartFile;
        m_strStartFile.clear();
    } else {
        std::string path;
        if (!AskImagePath(m_hWnd, path)) return;
        m_strFileName = path;
    }
    WriterImageHost host(*this);
    if (!LoadImageFile(m_strFileName, *this, host)) return;
    m_bFileImage = true;
    PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
    PushTexts();
}
