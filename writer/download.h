#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "writer/ops_context.h"
#include "writer/protocol.h"

constexpr size_t kDownloadChunk = kMaxFlashChunk;

// One CMD_WRITE_FLASH frame of a download: `count` bytes from `offset` of the
// source, stored at flash address `addr` (equal to the offset).
struct DownloadChunk {
    uint32_t addr;
    size_t count;
};
// The frames that carry `total` bytes: 128 each, the last one shorter.
std::vector<DownloadChunk> PlanDownload(size_t total);
std::vector<uint8_t> DownloadFrame(uint32_t addr, const uint8_t* data, size_t count);

// Message of a driver block that cannot be built because no body is selected.
extern const char kNoBodySelected[];

// The download of the PC buffer, the driver block and its check, the MCU
// choice and the writer's self-test.
class DownloadOps {
  public:
    DownloadOps(OpsLink& link, OpsHost& host, OpsState& state)
        : m_link(link), m_host(host), m_state(state) {}

    void OnDownload();
    bool EraseDriverArea();
    bool DownloadDriver(bool erase);
    bool CheckDriver();
    // The part of "MCU..." after the dialog's OK.
    void SelectMcu(const std::string& name);
    void OnDiagnosis();

  private:
    // The bytes to send, or false after the user was told why there are none.
    bool TakeSource(std::vector<uint8_t>& bytes);

    OpsLink& m_link;
    OpsHost& m_host;
    OpsState& m_state;
};

// Self-test report of the fault bits; "Test OK!" when none is set.
std::string DiagnosisReport(uint8_t faults);
