#include <windows.h>

#include <memory>

#include "app/startup.h"
#include "common/file_io.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "framework/module_path.h"
#include "common/wide_text.h"
#include "common/locked_profile.h"
#include "common/settings_file_win.h"

namespace {

// The program: one copy at a time, settings beside the program, one modal
// main window, no message loop of its own.
class WriterApp : public fw::Application {
  public:
    WriterApp() : fw::Application(L"Pyrograph") {}
    bool InitInstance() override;

  private:
    std::unique_ptr<WinProfile> m_file;
    // Other programs on the same file: every access under the serial lock.
    std::unique_ptr<LockedProfile> m_profile;
};

bool WriterApp::InitInstance() {
    if (HWND running = FindWindowW(L"#32770", L"Pyrograph")) {
        BringWindowToTop(running);
        return false;
    }

    const std::string exePath = fw::ModulePath(nullptr);
    const std::string settingsPath = SettingsPathBeside(exePath);
    m_file = std::make_unique<WinProfile>(Widen(settingsPath));
    m_profile = std::make_unique<LockedProfile>(*m_file, settingsPath);

    const StartupArgs args = ParseStartupCommandLine(Narrow(CommandLine()));
    if (args.bHide) {
        // The handle is only looked up; nothing is done with the window.
        IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(args.dwHideWnd)));
    }

    {
        WriterDialog dlg(*m_profile);
        dlg.SetStartupFile(args.strFile);
        dlg.StartLog(ModuleFolder(exePath));
        dlg.UseSerialLock(settingsPath);
        dlg.DoModal();
    }
    return false;
}

WriterApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int) {
    return fw::RunApplication(instance, cmdLine);
}
