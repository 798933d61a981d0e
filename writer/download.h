#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Self-test report of the fault bits; "Test OK!" when none is set.
std::string DiagnosisReport(uint8_t faults);
