#pragma once
// The Serial Number dialog's answers, as the window gives them to the session.
#include "core/session.h"

// The Serial Number dialog's OK with `number`, the addresses left as they are.
inline void ChooseSerialNumber(Session& s, uint32_t number) {
    SerialDialogResult setup;
    for (int i = 0; i < 4; ++i) setup.nAddr[i] = s.Serial().m_nSerialAddr[i];
    setup.dwSerial = number;
    s.SetSerialSetup(setup);
}

// The same dialog's OK with one address changed, the number left as it is.
inline void ChooseSerialAddress(Session& s, int index, uint32_t addr) {
    SerialDialogResult setup;
    for (int i = 0; i < 4; ++i) setup.nAddr[i] = s.Serial().m_nSerialAddr[i];
    setup.nAddr[index] = addr;
    setup.dwSerial = s.Serial().m_dwSerial;
    s.SetSerialSetup(setup);
}
