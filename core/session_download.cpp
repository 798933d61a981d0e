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

CommandResult Session::Download() {
    return Exclusive([this] { return DownloadImage(); });
}

bool Session::TakeSource(std::vector<uint8_t>& bytes) {
    const PcBuffer& buf = m_buffer;
    const std::string& path = m_strFileName;
    if (path.empty() && !(buf.m_pBin && buf.m_pOpt)) {
        SetMessage("Please load a file!");
        return false;
    }
    if (IsVoiceFile(path)) {
        // A voice file that failed to load leaves no words to send.
        if (!buf.m_pBin) {
            SetMessage("Please load a file!");
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
    std::vector<uint8_t> bytes;
    if (!TakeSource(bytes)) return Outcome::kBadImage;
    if (!m_link.EnsureConnected()) {
        m_bDownloaded = false;
        return Outcome::kNoWriter;
    }
    // From the erase on, the writer's flash no longer holds the last image:
    // only a download that ends well may say it does.
    m_bDownloaded = false;
    const uint8_t erase = ModeCommand(CMD_ERASE_FLASH);
    if (erase != 0) {
        SayWriterError(erase, false);
        return Outcome::kFailed;
    }
    m_now.controlsFollow = true;
    SetMessage("Downloading...");
    Progress(0, static_cast<int>(bytes.size()));

    size_t sent = 0;
    for (const DownloadChunk& c : PlanDownload(bytes.size())) {
        const uint8_t status = m_link.WriteFlash(c.addr, bytes.data() + c.addr, c.count);
        if (status != 0) {
            SayWriterError(status, false);
            break;
        }
        sent += c.count;
        Progress(static_cast<int>(sent), static_cast<int>(bytes.size()));
    }
    Progress(0, static_cast<int>(bytes.size()));
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
    return outcome;
}

bool Session::EraseDriverArea() {
    if (m_link.EraseDriver() != 0) {
        SetMessage("Failed to erase flash rom!");
        return false;
    }
    return true;
}

bool Session::DownloadDriver(bool erase) {
    // Without a body there is nothing to describe; keep the block the writer has.
    if (m_pBody == nullptr) {
        Beep();
        SetMessage(kNoBodySelected);
        return false;
    }
    if (erase && !EraseDriverArea()) return false;
    const BodyRecord& body = *m_pBody;
    uint8_t status = m_link.WriteDriverBlock(body, WriterSettings::Read(m_profile));
    if (status != 0) {
        SayWriterError(status, false);
        return false;
    }
    Text(Slot::kDriver, BodyName(body));
    m_pDriverBody = &body;
    SetMessage("Download driver OK!");
    status = WriterOperation(OP_DRIVER, 0);
    if (status != 0) {
        SayWriterError(status, false);
        return false;
    }
    return true;
}

bool Session::CheckDriver() {
    return Exclusive([this] { return CheckDriverBlock() ? Outcome::kPassed : Outcome::kFailed; })
        .Passed();
}

bool Session::CheckDriverBlock() {
    uint8_t data[256] = {};
    const uint8_t status = m_link.ReadFlash(kDriverAreaAddr, kDriverReadCount, data, sizeof data);
    if (status != 0) {
        SayWriterError(status, false);
    } else {
        const DriverReadBack rb = ParseDriverReadBack(data, kDriverReadCount);
        if (rb.bValid) {
            const std::string name = FindBodyName(m_bodyTable, rb.nPID, rb.nOID);
            Text(Slot::kDriver, name);
            if (const BodyRecord* body = LookupBody(m_bodyTable, name)) m_pDriverBody = body;
            return true;
        }
    }
    const bool ok = DownloadDriver(true);
    return ok;
}

int Session::DriverProgressMax() const {
    // Without a known driver body there is no size to measure progress by.
    return m_pDriverBody ? static_cast<int>(m_pDriverBody->nRomWords) : 0;
}

CommandResult Session::SelectMcu(const std::string& name) {
    return Exclusive([&] {
        SelectBodyByName(name);
        return DownloadDriver(true) ? Outcome::kPassed : Outcome::kFailed;
    });
}

CommandResult Session::Diagnosis() {
    return Exclusive([this] {
        if (!m_link.EnsureConnected()) return Outcome::kNoWriter;
        uint8_t status = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            uint8_t faults = 0;
            status = m_link.SelfTest(faults);
            if (status == WS_ACK) {
                ShowBox(DiagnosisReport(faults));
                return faults == 0 ? Outcome::kPassed : Outcome::kFailed;
            }
        }
        SayWriterError(status, true);
        return Outcome::kFailed;
    });
}
