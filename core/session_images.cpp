// The Open command and the images it loads into the PC buffer; the temporary
// image the option view reports on.
#include "core/session.h"
#include "image/open_image.h"
#include "image/option_view.h"
#include "image/otp_file.h"

CommandResult Session::Open(const std::function<bool(std::string&)>& askPath) {
    return Exclusive([&] {
        std::string path;
        if (!askPath(path)) return Outcome::kCancelled;
        return OpenImage(path).outcome;
    });
}

CommandResult Session::OpenImage(const std::string& path) {
    // Inside Open this is part of that command; called alone it is one of its own.
    if (m_bOpsRunning) {
        SetFileName(path);
        // The buffer goes first, so a window painting during the load shows it empty.
        m_buffer.FreeBlocks();
        ShowChecksum(0);
        const Outcome loaded =
            ApplyLoad(LoadImageFile(path, m_buffer, m_bodyTable, ChecksumTestEnabled(m_profile)));
        if (loaded == Outcome::kPassed) m_bFileImage = true;
        CommandResult r = CommandResult::Of(loaded);
        r.strText = m_now.shown;
        return r;
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

Outcome Session::ApplyLoad(const ImageLoad& load) {
    if (!load.strBodyName.empty()) SelectBodyByName(load.strBodyName);
    if (load.bForgetBody) m_pBody = nullptr;
    if (load.bCheckSerial) CheckSerialAddresses();
    for (const ImageLoad::Notice& n : load.notices) {
        switch (n.kind) {
            case ImageLoad::Notice::kSetMessage:
                SetMessage(n.text);
                break;
            case ImageLoad::Notice::kAppendMessage:
                AppendMessage(n.text);
                break;
            case ImageLoad::Notice::kBox:
                ShowBox(n.text);
                break;
        }
    }
    if (!load.bOk) return Outcome::kBadImage;
    FinishImageLoad();
    return Outcome::kPassed;
}

// The common end of a successful load or file write: checksum, "File PID"
// line, hex view from the top.
bool Session::FinishImageLoad() {
    ShowChecksum(1);
    SetMessage(FilePidLine(m_buffer.m_wPID, m_buffer.m_wOID));
    Event reset = Event::Of(Event::Kind::kHexReset);
    reset.pos = HexScrollMax(m_buffer);
    m_report.Report(reset);
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
