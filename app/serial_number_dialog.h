#pragma once
#include "framework/dialog.h"
#include "image/serial_number.h"

// "Serial Number": four word addresses and the four bytes of the number.
class SerialNumberDialog : public fw::Dialog {
  public:
    explicit SerialNumberDialog(HWND parent);
    SerialDialogTexts m_texts;    // in: the current setup; out: what was typed
    SerialDialogResult m_result;  // valid after OK

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
};
