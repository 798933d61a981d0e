#include "image/open_image.h"

#include "image/otp_file.h"
#include "image/voice_image.h"

const char kOpenDialogTitle[] = "Open File";
const char kOpenDialogDefExt[] = "otp";
const char kOpenDialogInitialName[] = "*.otp";
const char kOpenDialogFilter[] =
    "OTP File(*.otp)|*.otp|Voice File(ZV62)|*.E03;*.E09;*.E18;*.E36;*.R03;*.R09;*.R18;*.R36;||";

ImageLoad LoadImageFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies,
                        bool checksumTest) {
    return IsVoiceFile(path) ? LoadVoiceFile(path, buf, bodies)
                             : LoadOtpFile(path, buf, bodies, checksumTest);
}
