#pragma once
#include <windows.h>

#include "writer/writer_link.h"

// The Win32 half of a link host: message dispatch and beeps. The window that
// owns the link supplies its texts, message boxes, progress bar, buttons and
// driver check.
class WinLinkHost : public LinkHost {
  public:
    bool PumpOneMessage() override;
    void Beep() override { MessageBeep(0xFFFFFFFF); }
};
