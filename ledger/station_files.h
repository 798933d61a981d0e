#pragma once
#include <cstdint>
#include <string>

// What the ledger keeps on the station's own disk, and what it asks of the
// system there. Each write is on the disk when it returns true.

// `path` holds `bytes` afterwards or, whatever stops the program midway, its
// old bytes: written beside it, flushed, then renamed over it.
bool ReplaceFileDurable(const std::string& path, const std::string& bytes);
// Appends `line` (which ends in LF) in one write and flushes it. A last line a
// power cut cut short is ended first, so that it cannot run into this one.
bool AppendLineDurable(const std::string& path, const std::string& line);
// Empties the file (it stays).
bool TruncateFile(const std::string& path);
// The whole file as text; false when it cannot be read (a missing file is empty).
bool ReadTextFile(const std::string& path, std::string& text);

int64_t CurrentProcessId();
// False only when no process of this number runs.
bool ProcessRuns(int64_t pid);
std::string ComputerName();
