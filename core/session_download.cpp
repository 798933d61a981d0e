// Download of the image and the driver block into the writer's flash, the
// driver check, "MCU..." and the writer's self-test.
#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "common/file_io.h"
#include "core/session.h"
#include "image/voice_image.h"
#include "writer/download.h"
#include "writer/driver_block.h"
#include "writer/driver_timing.h"
#include "writer/protocol.h"

namespace {
std::string BodyName(const BodyRecord& body) {
    return std::string(body.szName, strnlen(body.szName, sizeof body.szName));
}
}  // namespace

CommandResult Session::OnDownload() {
    return Exclusive([this] { return DownloadImage(); });
}

bool Session::TakeSource(std::vector<uint8_t>& bytes) {
    const PcBuffer& buf = m_buffer;
    const std::string& path = m_strFileName;
    if (path.empty() && !(buf.m_pBin && buf.m_pOpt)) {
        SetMessage("Please load a file!");
        m_front.PushTexts();
        return false;
    }
    if (IsVoiceFile(path)) {
        // A voice file that failed to load leaves no words to send.
        if (!buf.m_pBin) {
            SetMessage("Please load a file!");
            m_front.PushTexts();
            return false;
        }
        const size_t words = std::min<size_t>(buf.m_nBinWords, buf.m_pBin->size());
        bytes.resize(words * 2);
        for (size_t i = 0; i < words; ++i) PutLe16(&bytes[2 * i], (*buf.m_pBin)[i]);
        return true;
    }
    if (!ReadWholeFile(path, bytes)) {
        ShowBox("Failed to open file!");
        return false;
    }
    return true;
}

Outcome Session::DownloadImage() {
    PullTexts();
    std::vector<uint8_t> bytes;
    if (!TakeSource(bytes)) return Outcome::kBadImage;
    if (!m_link.EnsureConnected()) {
        m_bDownloaded = false;
        return Outcome::kNoWriter;
    }
    // From the erase on, the writer's flash no longer holds the last image:
    // only a download that ends well may say it does.
    m_bDownloaded = false;
    const uint8_t erase = m_link.PollingCommand(CMD_ERASE_FLASH);
    if (erase != 0) {
        m_link.ShowWriterError(erase, false);
        return Outcome::kFailed;
    }
    m_front.EnableOperationControls(false);
    SetMessage("Downloading...");
    m_front.PushTexts();
    m_front.ProgressStart(static_cast<int>(bytes.size()));

    size_t sent = 0;
    for (const DownloadChunk& c : PlanDownload(bytes.size())) {
        const std::vector<uint8_t> frame = DownloadFrame(c.addr, bytes.data() + c.addr, c.count);
        const uint8_t status =
            m_link.SendAndPoll(frame.data(), frame.size(), CMD_WRITE_FLASH, 0, 0);
        if (status != 0) {
            m_link.ShowWriterError(status, false);
            break;
        }
        sent += c.count;
        m_front.ProgressStep(static_cast<int>(sent));
    }
    m_front.ProgressEnd();
    const bool complete = sent == bytes.size();
    bytes.clear();

    const std::string name = FindBodyName(m_bodyTable, m_buffer.m_wPID, m_buffer.m_wOID);
    if (!name.empty()) SelectBodyByName(name);

    Outcome outcome = Outcome::kFailed;
    std::string text = "Download fail!";
    if (complete && DownloadDriver(false)) {
        m_bDownloaded = true;
        outcome = Outcome::kPassed;
        text = "Download OK!";
    }
    SetMessage(text);
    m_front.PushTexts();
    m_front.EnableOperationControls(true);
    return outcome;
}

bool Session::EraseDriverArea() {
    const Frame frame = MakeEraseDriverFrame();
    if (m_link.SendAndPoll(frame.bytes, frame.size, CMD_ERASE_DRIVER, 50, 0) != 0) {
        SetMessage("Failed to erase flash rom!");
        return false;
    }
    return true;
}

bool Session::DownloadDriver(bool erase) {
    // Without a body there is nothing to describe; keep the block the writer has.
    if (m_pBody == nullptr) {
        m_front.Beep();
        SetMessage(kNoBodySelected);
        m_front.PushTexts();
        return false;
    }
    if (erase && !EraseDriverArea()) return false;
    const BodyRecord& body = *m_pBody;
    const DriverFrame frame = BuildDriverFrame(body, WriterSettings::Read(m_profile));
    uint8_t status = m_link.SendAndPoll(frame.data(), frame.size(), CMD_WRITE_FLASH, 0, 0);
    if (status != 0) {
        m_link.ShowWriterError(status, false);
        return false;
    }
    m_front.SetText(FrontText::kDriver, BodyName(body));
    m_pDriverBody = &body;
    SetMessage("Download driver OK!");
    status = m_link.RunOperation(OP_DRIVER, 0);
    if (status != 0) {
        m_link.ShowWriterError(status, false);
        return false;
    }
    m_front.PushTexts();
    return true;
}

bool Session::CheckDriver() {
    return Exclusive([this] { return CheckDriverBlock() ? Outcome::kPassed : Outcome::kFailed; })
        .Passed();
}

bool Session::CheckDriverBlock() {
    PullTexts();
    const Frame frame = MakeReadFlashFrame(kDriverAreaAddr, kDriverReadCount);
    uint8_t data[256] = {};
    const uint8_t status = static_cast<uint8_t>(
        m_link.Request(frame.bytes, frame.size, CMD_READ_FLASH, data, sizeof data));
    if (status != 0) {
        m_link.ShowWriterError(status, false);
    } else {
        const DriverReadBack rb = ParseDriverReadBack(data, kDriverReadCount);
        if (rb.bValid) {
            const std::string name = FindBodyName(m_bodyTable, rb.nPID, rb.nOID);
            m_front.SetText(FrontText::kDriver, name);
            if (const BodyRecord* body = LookupBody(m_bodyTable, name)) m_pDriverBody = body;
            m_front.PushTexts();
            return true;
        }
    }
    const bool ok = DownloadDriver(true);
    m_front.PushTexts();
    return ok;
}

int Session::DriverProgressMax() const {
    // Without a known driver body there is no size to measure progress by.
    return m_pDriverBody ? static_cast<int>(m_pDriverBody->nRomWords) : 0;
}

CommandResult Session::OnSelectMcu(const std::string& name) {
    return Exclusive([&] {
        SelectBodyByName(name);
        return DownloadDriver(true) ? Outcome::kPassed : Outcome::kFailed;
    });
}

CommandResult Session::OnDiagnosis() {
    return Exclusive([this] {
        if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
        uint8_t status = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            const uint16_t r = m_link.Query(CMD_SELFTEST);
            status = static_cast<uint8_t>(r);
            if (status == WS_ACK) {
                const uint8_t faults = static_cast<uint8_t>(r >> 8);
                ShowBox(DiagnosisReport(faults));
                return faults == 0 ? Outcome::kPassed : Outcome::kFailed;
            }
        }
        m_link.ShowWriterError(status, true);
        return Outcome::kFailed;
    });
}
