#pragma once
// The session's private state and steps, for tests that set up a scene or
// look behind what the front end shows.
#include "core/session.h"

struct SessionFields {
    PcBuffer& m_buffer;
    BodyTable& m_bodyTable;
    const BodyRecord*& m_pBody;
    const BodyRecord*& m_pDriverBody;
    std::string& m_strFileName;
    bool& m_bFileImage;
    bool& m_bDownloaded;
    bool& m_bCheckId;
    bool& m_bVoice;
    AutoSteps& m_auto;
    SerialNumber& m_serial;
    WriterLink& m_link;
};

class SessionTestAccess {
  public:
    static SessionFields Fields(Session& s) {
        return {s.m_buffer,      s.m_bodyTable,  s.m_pBody,       s.m_pDriverBody,
                s.m_strFileName, s.m_bFileImage, s.m_bDownloaded, s.m_bCheckId,
                s.m_bVoice,      s.m_auto,       s.m_serial,      s.m_link};
    }
    static bool CheckSerialBlank(Session& s) { return s.CheckSerialBlank(); }
    static bool DownloadDriver(Session& s, bool erase) { return s.DownloadDriver(erase); }
    static bool WriteOtpFile(Session& s, const std::string& path) { return s.WriteOtpFile(path); }
};

inline SessionFields Peek(Session& s) {
    return SessionTestAccess::Fields(s);
}

// The Serial Number dialog's OK with `number`, the addresses left as they are.
inline void ChooseSerialNumber(Session& s, uint32_t number) {
    SerialDialogResult setup;
    for (int i = 0; i < 4; ++i) setup.nAddr[i] = s.Serial().m_nSerialAddr[i];
    setup.dwSerial = number;
    s.SetSerialSetup(setup);
}
