#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "app/win_helpers.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "common/wide_text.h"
#include "image/job_file.h"
#include "image/open_image.h"

namespace {

// Room for any path the dialog can return, not just MAX_PATH.
constexpr DWORD kPathChars = 32768;

// Asks for an image file; false when the user cancels or the dialog fails.
bool AskImagePath(HWND owner, std::string& path) {
    // A sealed job opens from the same dialog, in operator mode.
    std::string images = kOpenDialogFilter;
    images.pop_back();
    std::wstring filter = Widen(images + "Job File(*.pgjob)|*.pgjob||");
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    const std::wstring title = Widen(kOpenDialogTitle);
    const std::wstring defExt = Widen(kOpenDialogDefExt);
    const std::wstring initial = Widen(kOpenDialogInitialName);
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
    path = Narrow(file.data());
    return true;
}

}  // namespace

void WriterDialog::OpenImageFile() {
    // During another command the new image would mix with the one being
    // sent; like the other commands it is dropped.
    if (m_bBusy) return;
    std::string path = m_strStartFile;
    m_strStartFile.clear();
    if (path.empty() && !AskImagePath(m_hWnd, path)) return;
    if (IsJobPath(path)) {
        OpenJob(path);
        return;
    }
    RunCommand([this, path] { return m_session.OpenImage(path); },
               [this](const CommandResult& opened) {
                   InvalidateRect(Item(IDC_HEX_VIEW), nullptr, TRUE);
                   if (opened.Passed())
                       PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
               });
    m_bLoading = true;
}
