#include "framework/subclass.h"

#include <commctrl.h>

namespace fw {

namespace {
const UINT_PTR kSubclassId = 1;
}

SubclassedWindow::~SubclassedWindow() {
    Unsubclass();
}

bool SubclassedWindow::Subclass(HWND control) {
    if (!control || m_hWnd) return false;
    if (!SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = control;
    return true;
}

void SubclassedWindow::Unsubclass() {
    if (m_hWnd) RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    m_hWnd = nullptr;
}

LRESULT SubclassedWindow::Default(UINT msg, WPARAM wp, LPARAM lp) {
    return DefSubclassProc(m_hWnd, msg, wp, lp);
}

LRESULT CALLBACK SubclassedWindow::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                DWORD_PTR ref) {
    auto* self = reinterpret_cast<SubclassedWindow*>(ref);
    if (msg == WM_NCDESTROY) {
        // The control goes away before its owner object does.
        self->Unsubclass();
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    return self->WindowProc(msg, wp, lp);
}

}  // namespace fw
