#include "writer/download.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "common/file_io.h"
#include "common/profile.h"
#include "core/session.h"
#include "image/pc_buffer.h"
#include "image/voice_image.h"
#include "writer/driver_block.h"
#include "writer/protocol.h"
#include "writer/settings.h"

const char kNoBodySelected[] = "No MCU selected, driver not sent!";

std::vector<DownloadChunk> PlanDownload(size_t total) {
    std::vector<DownloadChunk> chunks;
    for (size_t done = 0; done < total; done += kDownloadChunk)
        chunks.push_back({static_cast<uint32_t>(done), std::min(kDownloadChunk, total - done)});
    return chunks;
}

std::vector<uint8_t> DownloadFrame(uint32_t addr, const uint8_t* data, size_t count) {
    const Frame f = MakeWriteFlashFrame(addr, data, count);
    return std::vector<uint8_t>(f.bytes, f.bytes + f.size);
}

std::string DiagnosisReport(uint8_t faults) {
    static const char* const kFaults[] = {"AD BUS Error!\r\n", "Control Error!\r\n",
                                          "VDD Error!\r\n", "VPP 5V Error!\r\n", "VPP 12V Error!"};
    std::string report;
    for (int bit = 0; bit < 5; ++bit)
        if (faults & (1u << bit)) report += kFaults[bit];
    return report.empty() ? "Test OK!" : report;
}

namespace {
std::string BodyName(const BodyRecord& body) {
    return std::string(body.szName, strnlen(body.szName, sizeof body.szName));
}

}  // namespace

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
        m_front.ShowBox("Failed to open file!");
        return false;
    }
    return true;
}

void Session::OnDownload() {
    Exclusive([this] { DownloadImage(); });
}

void Session::DownloadImage() {
    m_front.PullTexts();
    std::vector<uint8_t> bytes;
    if (!TakeSource(bytes)) return;
    if (!m_link.EnsureConnected()) {
        m_bDownloaded = false;
        return;
    }
    // From the erase on, the writer's flash no longer holds the last image:
    // only a download that ends well may say it does.
    m_bDownloaded = false;
    const uint8_t erase = m_link.PollingCommand(CMD_ERASE_FLASH);
    if (erase != 0) {
        m_link.ShowWriterError(erase, false);
        return;
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
    if (!name.empty()) {
        m_profile.WriteString("Setting", "BodyName", name);
        if (const BodyRecord* body = SelectBody()) m_pBody = body;
    }

    std::string result = "Download fail!";
    if (complete && DownloadDriver(false)) {
        m_bDownloaded = true;
        result = "Download OK!";
    }
    SetMessage(result);
    m_front.PushTexts();
    m_front.EnableOperationControls(true);
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
    bool ok = false;
    Exclusive([&] { ok = CheckDriverBlock(); });
    return ok;
}

bool Session::CheckDriverBlock() {
    m_front.PullTexts();
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

void Session::OnSelectMcu(const std::string& name) {
    Exclusive([&] {
        m_profile.WriteString("Setting", "BodyName", name);
        if (const BodyRecord* body = SelectBody()) m_pBody = body;
        DownloadDriver(true);
    });
}

void Session::OnDiagnosis() {
    Exclusive([this] {
        if (!m_link.EnsureConnected()) return;
        uint8_t status = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            const uint16_t r = m_link.Query(CMD_SELFTEST);
            status = static_cast<uint8_t>(r);
            if (status == WS_ACK) {
                m_front.ShowBox(DiagnosisReport(static_cast<uint8_t>(r >> 8)));
                return;
            }
        }
        m_link.ShowWriterError(status, true);
    });
}
