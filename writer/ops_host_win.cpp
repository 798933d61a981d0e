#include "writer/ops_host_win.h"

#include <windows.h>

#include "app/resource.h"
#include "app/writer_dialog.h"
#include "framework/application.h"
#include "image/voice_image.h"

void WriterOpsHost::PullTexts() {
    m_dlg.PullTexts();
}
void WriterOpsHost::PushTexts() {
    m_dlg.PushTexts();
}
void WriterOpsHost::SetMessageText(const std::string& text) {
    m_dlg.m_strMessage = text;
}
void WriterOpsHost::SetDriverText(const std::string& text) {
    m_dlg.m_strDriverName = text;
}
void WriterOpsHost::SetSerialText(const std::string& text) {
    m_dlg.m_strSerialText = text;
}
void WriterOpsHost::SetChecksumText(const std::string& text) {
    m_dlg.SetItemText(IDC_CHECKSUM, text);
}
void WriterOpsHost::SetProgressRange(int maxPos) {
    m_dlg.SetProgressRange(maxPos);
}
void WriterOpsHost::SetProgressPos(int pos) {
    m_dlg.SetProgressPos(pos);
}
void WriterOpsHost::Beep() {
    MessageBeep(0xFFFFFFFF);
}
void WriterOpsHost::ShowMessageBox(const std::string& text, bool info) {
    fw::AppMessageBox(m_dlg.GetSafeHwnd(), text, MB_OK | (info ? MB_ICONINFORMATION : 0));
}
bool WriterOpsHost::AskYesNo(const std::string& text) {
    return fw::AppMessageBox(m_dlg.GetSafeHwnd(), text, MB_YESNO) == IDYES;
}
void WriterOpsHost::EnableWindow(bool enable) {
    ::EnableWindow(m_dlg.GetSafeHwnd(), enable ? TRUE : FALSE);
}
void WriterOpsHost::EnableOperationControls(bool enable) {
    m_dlg.EnableOperationControls(enable);
}
const BodyRecord* WriterOpsHost::SelectBody() {
    return m_dlg.SelectBody();
}
bool WriterOpsHost::IsVoiceFile(const std::string& path) {
    return ::IsVoiceFile(path);
}
