// The Open command and the images it loads into the PC buffer; the temporary
// image the option view reports on.
#include "core/session.h"
#include "image/open_image.h"
#include "image/option_view.h"
#include "image/otp_file.h"

CommandResult Session::OnOpen(const std::function<bool(std::string&)>& askPath) {
    return Exclusive([&] {
        PullTexts();
        std::string path;
        if (!askPath(path)) return Outcome::kCancelled;
        return OpenImage(path).outcome;
    });
}

CommandResult Session::OpenImage(const std::string& path) {
    // Inside OnOpen this is part of that command; called alone it is one of its own.
    if (m_bOpsRunning) {
        SetFileName(path);
        // The buffer goes first, so a window painting during the load shows it empty.
        m_buffer.FreeBlocks();
        ShowChecksum(0);
        m_front.PushTexts();
        m_front.Breathe();
        ApplyLoad(LoadImageFile(path, m_buffer, m_bodyTable, ChecksumTestEnabled(m_profile)));
        if (m_result.outcome != Outcome::kPassed) return m_result;
        m_bFileImage = true;
        return m_result;
    }
    return Exclusive([&] { return OpenImage(path).outcome; });
}

CommandResult Session::AdoptImage(const Session& loaded) {
    return Exclusive([&] {
        SetFileName(loaded.m_strFileName);
        m_buffer = loaded.m_buffer;
        if (loaded.m_pBody) SelectBodyByName(loaded.m_pBody->szName);
        CheckSerialAddresses();
        m_bFileImage = loaded.m_bFileImage;
        FinishImageLoad();
        return Outcome::kPassed;
    });
}

void Session::ApplyLoad(const ImageLoad& load) {
    if (!load.strBodyName.empty()) SelectBodyByName(load.strBodyName);
    if (load.bForgetBody) m_pBody = nullptr;
    if (load.bCheckSerial) CheckSerialAddresses();
    for (const ImageLoad::Notice& n : load.notices) {
        switch (n.kind) {
            case ImageLoad::Notice::kSetMessage:
                SetMessage(n.text);
                m_front.PushTexts();
                break;
            case ImageLoad::Notice::kAppendMessage:
                AppendMessage(n.text);
                m_front.PushTexts();
                break;
            case ImageLoad::Notice::kBox:
                ShowBox(n.text);
                break;
        }
    }
    m_result.outcome = load.bOk ? Outcome::kPassed : Outcome::kBadImage;
    if (load.bOk) FinishImageLoad();
}

// The common end of a successful load or file write: checksum, "File PID"
// line, hex view from the top.
bool Session::FinishImageLoad() {
    ShowChecksum(1);
    SetMessage(FilePidLine(m_buffer.m_wPID, m_buffer.m_wOID));
    m_front.PushTexts();
    m_front.ResetHexView(HexScrollMax(m_buffer));
    m_front.Breathe();
    return true;
}

bool Session::WriteOtpFile(const std::string& path) {
    if (!m_pDriverBody) return false;
    if (!::WriteOtpFile(path, m_buffer, m_pDriverBody)) {
        ShowBox("Unable to write the file " + path + ".");
        return false;
    }
    return FinishImageLoad();
}

bool Session::PrepareOptionFile(const std::function<std::string()>& makeTempPath, std::string& path,
                                std::string& tempPath) {
    PullTexts();
    switch (ChooseOptionFile(m_bFileImage, m_pDriverBody != nullptr)) {
        case OptionFileChoice::ImageFile:
            path = m_strFileName;
            return true;
        case OptionFileChoice::NoDriverBody:
            ShowBox(kNoDriverBodyText);
            return false;
        case OptionFileChoice::TemporaryOtp:
            break;
    }
    tempPath = makeTempPath();
    if (tempPath.empty()) {
        ShowBox("Unable to create a temporary file for the options.");
        return false;
    }
    if (!WriteOtpFile(tempPath)) return false;  // it has said why
    path = tempPath;
    return true;
}
