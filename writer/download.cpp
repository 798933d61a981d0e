#include "writer/download.h"

#include <algorithm>
#include <cstring>

#include "writer/protocol.h"

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
