// The main window's side of the writer link: the host the link engine talks
// to, Detect Connect and closing the port at the end.
#include "app/writer_dialog.h"

#include "app/resource.h"
#include "framework/application.h"
#include "writer/dialog_link_host_win.h"

DialogLinkHost::DialogLinkHost(WriterDialog& dialog, Port& port)
    : link(*this, port), m_dialog(dialog) {}

void DialogLinkHost::SetMessageText(const std::string& text) {
    m_dialog.m_strMessage = text;
}
void DialogLinkHost::SetLinkText(const std::string& text) {
    m_dialog.m_strLinkState = text;
}
void DialogLinkHost::SetVersionText(const std::string& text) {
    m_dialog.m_strVersion = text;
}
void DialogLinkHost::PushTexts() {
    m_dialog.PushTexts();
}

void DialogLinkHost::SetProgressRange(int maxPos) {
    m_dialog.SetProgressRange(maxPos);
}

void DialogLinkHost::SetProgressPos(int pos) {
    m_dialog.SetProgressPos(pos);
}

void DialogLinkHost::ShowMessageBox(const std::string& text) {
    fw::AppMessageBox(m_dialog.m_hWnd, text);
}

void DialogLinkHost::EnableOperationControls(bool enable) {
    m_dialog.EnableOperationControls(enable);
}

bool DialogLinkHost::IsBusy() const {
    return m_dialog.IsBusy();
}

bool DialogLinkHost::CheckDriver() {
    return m_dialog.m_fnCheckDriver ? m_dialog.m_fnCheckDriver() : true;
}

void WriterDialog::OnDetectConnect() {
    Link().OnDetectConnect();
}

void WriterDialog::CloseSerialPort() {
    m_port.SuspendAndClose();
}
