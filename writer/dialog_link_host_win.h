#pragma once
#include "writer/link_host_win.h"

class WriterDialog;

// The main window as the writer link's host: its message line, link and
// version texts, progress bar, operation buttons and message boxes.
class DialogLinkHost : public WinLinkHost {
  public:
    DialogLinkHost(WriterDialog& dialog, Port& port);

    void SetMessageText(const std::string& text) override;
    void SetLinkText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void PushTexts() override;
    void SetProgressRange(int maxPos) override;
    void SetProgressPos(int pos) override;
    void ShowMessageBox(const std::string& text) override;
    void EnableOperationControls(bool enable) override;
    bool IsBusy() const override;
    bool CheckDriver() override;

    WriterLink link;

  private:
    WriterDialog& m_dialog;
};
