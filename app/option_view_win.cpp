// "&Option..." and "&Print": the option report of the current image through
// the option library, and the start of the print program on the image file.
#include <windows.h>

#include <string>

#include "app/small_dialogs.h"
#include "app/win_helpers.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "common/wide_text.h"
#include "image/body_table.h"
#include "image/option_view.h"
#include "image/otp_file.h"

namespace {

using DumpOtpFn = const char*(__cdecl*)(const char* path, const char* body);

// A unique "~" file in the temporary folder (created empty); empty on failure.
std::string TemporaryOtpPath() {
    wchar_t dir[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) return std::string();
    wchar_t file[MAX_PATH];
    if (GetTempFileNameW(dir, L"~", 0, file) == 0) return std::string();
    return Narrow(file);
}

}  // namespace

// The option library is mapped once while no serial port is open and stays mapped,
// so each option view's load and release only count references. Mapping a library
// that carries thread-local storage while a serial port's waits come and go
// can livelock Wine's loader; on Windows this costs nothing.
void WriterDialog::PinOptionLibrary() {
    const std::string libPath = ModuleFilePath(fw::AppInstance(), kOptionLibraryName);
    m_hPinnedOptionLib = LoadLibraryW(Widen(libPath).c_str());
}

void WriterDialog::UnpinOptionLibrary() {
    if (m_hPinnedOptionLib) FreeLibrary(m_hPinnedOptionLib);
    m_hPinnedOptionLib = nullptr;
}

void WriterDialog::ShowOptions() {
    if (m_bBusy) return;
    UpdateData(true);
    m_session.UsePath(m_strFilePath);
    const PcBuffer& buf = m_session.Buffer();
    if (!buf.m_pOpt) {
        fw::AppMessageBox(GetSafeHwnd(), kNoOptionsText, kBoxOk);
        return;
    }
    const std::string listing = OptionListing(*buf.m_pOpt, buf.m_pOpt->size());
    const std::string libPath = ModuleFilePath(fw::AppInstance(), kOptionLibraryName);
    const std::string body = SelectedBodyName(m_session.Settings());

    HMODULE lib = LoadLibraryW(Widen(libPath).c_str());
    if (lib == nullptr) {
        fw::AppMessageBox(GetSafeHwnd(), kLoadFailedText + listing, kBoxOk);
        return;
    }
    auto dump =
        reinterpret_cast<DumpOtpFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DumpOtpOption")));
    if (dump == nullptr) {
        FreeLibrary(lib);
        fw::AppMessageBox(GetSafeHwnd(), kNoExportText + listing, kBoxOk);
        return;
    }

    std::string path;
    std::string tempPath;
    if (!m_session.PrepareOptionFile(TemporaryOtpPath, path, tempPath)) {
        if (!tempPath.empty()) DeleteFileW(Widen(tempPath).c_str());
        FreeLibrary(lib);
        return;
    }

    const char* report = dump(ToAnsi(path, true).c_str(), ToAnsi(body, false).c_str());
    McuOptionDialog dlg(m_hWnd);
    // Copied before the library goes: the text is the library's.
    dlg.m_strReport = report != nullptr ? Narrow(Widen(report, CP_ACP)) : std::string();
    dlg.DoModal();

    FreeLibrary(lib);
    if (!tempPath.empty()) DeleteFileW(Widen(tempPath).c_str());
    InvalidateRect(m_hWnd, nullptr, TRUE);
    UpdateWindow(m_hWnd);
}

void WriterDialog::PrintOptions() {
    if (m_bBusy) return;
    UpdateData(true);
    if (!m_session.Buffer().m_pOpt) {
        fw::AppMessageBox(GetSafeHwnd(), kNoPrintOptionText, kBoxOk);
        return;
    }
    const std::string body = SelectedBodyName(m_session.Settings());
    const std::string program = ModuleFilePath(fw::AppInstance(), kPrintProgramName);
    std::wstring line = Widen(PrintCommandLine(program, m_strFilePath, body));

    // Started like a simple program launch with show value 5; the print program
    // reports its own failures, and a failed start is not reported here.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    Sleep(kPrintLaunchWaitMs);
    InvalidateRect(m_hWnd, nullptr, TRUE);
    UpdateWindow(m_hWnd);
}
