#pragma once
#include <windows.h>

namespace fw {

// Takes over the window procedure of an existing control; messages the
// derived class does not handle go to the control's own procedure.
class SubclassedWindow {
  public:
    SubclassedWindow() = default;
    virtual ~SubclassedWindow();
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;

    bool Subclass(HWND control);
    void Unsubclass();
    HWND GetSafeHwnd() const { return m_hWnd; }

  protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
    HWND m_hWnd = nullptr;

  private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

}  // namespace fw
