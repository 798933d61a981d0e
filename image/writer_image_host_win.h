#pragma once
#include "app/writer_dialog.h"
#include "image/image_load_host.h"

// The main window as the image loaders and the .otp writer see it.
class WriterImageHost : public ImageLoadHost {
  public:
    explicit WriterImageHost(WriterDialog& dlg) : m_dlg(dlg) {}

    void SetMessage(const std::string& text) override;
    void AppendMessage(const std::string& text) override;
    void UpdateScreen() override;
    void ShowMessageBox(const std::string& text) override;
    void ShowChecksum(int flag) override;
    void ResetHexView(int maxRow) override;
    const BodyRecord* SelectBodyByName(const std::string& name) override;
    void ClearSelectedBody() override;
    const BodyTable& Bodies() const override;
    Profile& Settings() override;
    void CheckSerialAddresses() override;
    void PumpOneMessage() override;

  private:
    WriterDialog& m_dlg;
};
