#pragma once
#include <windows.h>

#include <string>

namespace fw {

// The one application object. The program defines a global instance of a
// derived class; wWinMain hands control to RunApplication.
class Application {
  public:
    explicit Application(std::wstring name);
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Returning false ends the program without a message loop.
    virtual bool InitInstance() = 0;
    virtual int ExitInstance() { return 0; }

    HINSTANCE Instance() const { return m_hInstance; }
    const std::wstring& Name() const { return m_name; }
    // The command line without the program name.
    const std::wstring& CommandLine() const { return m_cmdLine; }
    HWND m_hMainWnd = nullptr;

    static Application* Current() { return s_current; }

  private:
    friend int RunApplication(HINSTANCE, LPWSTR);
    int Run();

    std::wstring m_name;
    std::wstring m_cmdLine;
    HINSTANCE m_hInstance = nullptr;
    static Application* s_current;
};

int RunApplication(HINSTANCE instance, LPWSTR cmdLine);

// An OK-style message box captioned with the program's name.
int AppMessageBox(HWND owner, const std::string& text, UINT type = MB_OK);

// The application's instance handle (resources live there).
HINSTANCE AppInstance();

}  // namespace fw
