#pragma once
#include <string>

#include "framework/dialog.h"
#include "image/body_table.h"

// "About Pyrograph": closes on OK.
class AboutDialog : public fw::Dialog {
  public:
    explicit AboutDialog(HWND parent);
};

// Chooses the chip body to work with from the body table.
class SetMcuDialog : public fw::Dialog {
  public:
    SetMcuDialog(const BodyTable& bodies, HWND parent);
    std::string m_strBodyName;  // in: current name; out on OK: the chosen one
    std::string m_strPrompt;
    std::string m_strLabel;

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    const BodyTable& m_bodies;
};

// Chooses the steps of the "&Auto" sequence.
class AutoSetupDialog : public fw::Dialog {
  public:
    explicit AutoSetupDialog(HWND parent);
    bool m_bBlank = false;
    bool m_bLock = false;
    bool m_bProgram = false;
    bool m_bVerify = false;
    bool m_bVoice = false;  // voice chips cannot be locked

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
};

// Shows an option report read-only.
class McuOptionDialog : public fw::Dialog {
  public:
    explicit McuOptionDialog(HWND parent);
    std::string m_strReport;  // lines end in CR LF

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
};
