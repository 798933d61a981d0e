#pragma once
#include "writer/ops_context.h"

class WriterDialog;

// The main window as the downloads and chip operations see it.
class WriterOpsHost : public OpsHost {
  public:
    explicit WriterOpsHost(WriterDialog& dlg) : m_dlg(dlg) {}
    void PullTexts() override;
    void PushTexts() override;
    void SetMessageText(const std::string& text) override;
    void SetDriverText(const std::string& text) override;
    void SetSerialText(const std::string& text) override;
    void SetChecksumText(const std::string& text) override;
    void SetProgressRange(int maxPos) override;
    void SetProgressPos(int pos) override;
    void Beep() override;
    void ShowMessageBox(const std::string& text, bool info) override;
    bool AskYesNo(const std::string& text) override;
    void EnableWindow(bool enable) override;
    void EnableOperationControls(bool enable) override;
    const BodyRecord* SelectBody() override;
    bool IsVoiceFile(const std::string& path) override;

  private:
    WriterDialog& m_dlg;
};
