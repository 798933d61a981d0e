#include "framework/application.h"

#include <commctrl.h>

#include "common/wide_text.h"

namespace fw {

Application* Application::s_current = nullptr;

Application::Application(std::wstring name) : m_name(std::move(name)) {
    s_current = this;
}

Application::~Application() {
    if (s_current == this) s_current = nullptr;
}

int Application::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunApplication(HINSTANCE instance, LPWSTR cmdLine) {
    Application* app = Application::Current();
    if (!app) return 1;
    app->m_hInstance = instance;
    app->m_cmdLine = cmdLine ? cmdLine : L"";
    // The progress bar is a common control.
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    int code = 0;
    if (app->InitInstance()) code = app->Run();
    int exitCode = app->ExitInstance();
    return code ? code : exitCode;
}

int AppMessageBox(HWND owner, const std::string& text, UINT type) {
    Application* app = Application::Current();
    std::wstring caption = app ? app->Name() : std::wstring();
    return MessageBoxW(owner, Widen(text).c_str(), caption.c_str(), type);
}

HINSTANCE AppInstance() {
    Application* app = Application::Current();
    return app && app->Instance() ? app->Instance() : GetModuleHandleW(nullptr);
}

}  // namespace fw
