#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace fw {

// One pass of data exchange between bound members and their controls.
class DataExchange {
  public:
    // Controls found by id, kept by the dialog across exchanges.
    using ItemCache = std::vector<std::pair<int, HWND>>;
    DataExchange(HWND dialog, bool save, ItemCache* items = nullptr)
        : m_hDlg(dialog), m_bSave(save), m_items(items) {}
    void Text(int id, std::string& value);  // edit or static text
    void Check(int id, bool& value);        // check box

  private:
    HWND Item(int id);
    HWND m_hDlg;
    bool m_bSave;
    ItemCache* m_items;
};

// Where a routed id came from.
enum class RouteKind {
    kCommand,     // button, menu item or accelerator (WM_COMMAND)
    kSysCommand,  // system-menu item (WM_SYSCOMMAND)
};

// A routing table entry: id to member handler.
template <class T>
struct CommandRoute {
    RouteKind kind;
    UINT id;
    void (T::*handler)();
};

// A window message entry; the handler sets the dialog procedure's result and
// returns whether it handled the message.
template <class T>
struct MessageRoute {
    UINT message;
    bool (T::*handler)(WPARAM, LPARAM, INT_PTR& result);
};

template <class T, size_t N>
bool DispatchCommand(T* self, const CommandRoute<T> (&table)[N], RouteKind kind, UINT id) {
    for (const auto& r : table) {
        if (r.kind == kind && r.id == id) {
            (self->*r.handler)();
            return true;
        }
    }
    return false;
}

template <class T, size_t N>
bool DispatchWindowMessage(T* self, const MessageRoute<T> (&table)[N], UINT msg, WPARAM wp,
                           LPARAM lp, INT_PTR& result) {
    for (const auto& r : table) {
        if (r.message == msg) return (self->*r.handler)(wp, lp, result);
    }
    return false;
}

// A dialog made from a resource template.
class Dialog {
  public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs modally; IDOK (1), IDCANCEL (2), or -1 when the dialog could not be made.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    // save = true takes the controls into the members, false shows the members.
    bool UpdateData(bool save = true);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    void EnableItem(int id, bool enable) const;
    void SetItemText(int id, const std::string& text) const;

  protected:
    virtual void DoDataExchange(DataExchange&) {}
    // Returning true lets the system set the focus.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Derived classes route their commands and messages through tables here.
    virtual bool OnRoute(RouteKind, UINT) { return false; }
    virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

    HWND m_hWnd = nullptr;
    HWND m_hParent;

  private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR HandleMessage(UINT, WPARAM, LPARAM);
    UINT m_templateId;
    // Looking a control up asks the system each time; the link exchanges the
    // window's texts after every poll.
    DataExchange::ItemCache m_dxItems;
    HWND m_dxItemsOwner = nullptr;
};

}  // namespace fw
