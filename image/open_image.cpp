#include "image/open_image.h"

#include "core/session.h"
#include "image/otp_file.h"
#include "image/voice_image.h"

const char kOpenDialogTitle[] = "Open File";
const char kOpenDialogDefExt[] = "otp";
const char kOpenDialogInitialName[] = "*.otp";
const char kOpenDialogFilter[] =
    "OTP File(*.otp)|*.otp|Voice File(ZV62)|*.E03;*.E09;*.E18;*.E36;*.R03;*.R09;*.R18;*.R36;||";

bool LoadImageFile(const std::string& path, PcBuffer& buf, Session& session) {
    return IsVoiceFile(path) ? LoadVoiceFile(path, buf, session) : LoadOtpFile(path, buf, session);
}

bool Session::OnOpen(const std::function<bool(std::string&)>& askPath) {
    bool loaded = false;
    Exclusive([&] {
        m_front.PullTexts();
        std::string path;
        if (askPath(path)) loaded = OpenImage(path);
    });
    return loaded;
}

bool Session::OpenImage(const std::string& path) {
    m_strFileName = path;
    if (!LoadImageFile(m_strFileName, m_buffer, *this)) return false;
    m_bFileImage = true;
    return true;
}

bool Session::WriteOtpFile(const std::string& path) {
    return ::WriteOtpFile(path, m_buffer, m_pDriverBody, *this);
}
