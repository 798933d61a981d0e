#include <windows.h>

#include <memory>

#include "app/startup.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "framework/text.h"
#include "writer/profile_win.h"

namespace {

// The program: one copy at a time, settings beside the program, one modal
// main window, no message loop of its own.
class WriterApp : public fw::Application {
  public:
    WriterApp() : fw::Application(L"Pyrograph") {}
    bool InitInstance() override;

  private:
    std::unique_ptr<WinProfile> m_profile;
};

bool WriterApp::InitInstance() {
    if (HWND running = FindWindowW(L"#32770", L"Pyrograph")) {
        BringWindowToTop(running);
        return false;
    }

    wchar_t exe[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::string exePath = fw::Narrow(std::wstring(exe, n < MAX_PATH ? n : MAX_PATH));
    m_profile = std::make_unique<WinProfile>(fw::Widen(SettingsPathBeside(exePath)));

    const StartupArgs args = ParseStartupCommandLine(fw::Narrow(CommandLine()));
    if (args.bHide) {
        // The handle is only looked up; nothing is done with the window.
        IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(args.dwHideWnd)));
    }

    {
        WriterDialog dlg(*m_profile);
        dlg.SetStartupFile(args.strFile);
        dlg.DoModal();
    }
    return false;
}

WriterApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int) {
    return fw::RunApplication(instance, cmdLine);
}
