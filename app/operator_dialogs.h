#pragma once
#include <string>

#include "framework/dialog.h"

// One line of text asked for: the lot number, or the supervisor password
// (typed twice when it is being set).
class EntryDialog : public fw::Dialog {
  public:
    enum class Kind { kLot, kPassword, kNewPassword };
    EntryDialog(Kind kind, HWND parent);
    ~EntryDialog() override;
    std::string m_strPrompt;
    std::string m_strText;   // out on OK
    std::string m_strAgain;  // kNewPassword: the second entry

  protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;

  private:
    Kind m_kind;
};
