#pragma once
#include <cstddef>
#include <string>

struct ChipConfig;
struct OptionSource;

constexpr size_t kReportBlockBytes = 8192;

// Appends to a NUL-terminated text in a fixed report block; what would pass
// the block's end is cut off.
class ReportText {
  public:
    explicit ReportText(char* block) : m_block(block) { m_block[0] = '\0'; }
    void Append(const std::string& s) { Append(s.data(), s.size()); }
    void Append(const char* s, size_t n);
    size_t Length() const { return m_length; }
    void Truncate(size_t length);
    std::string Str() const { return std::string(m_block, m_length); }

  private:
    char* m_block;
    size_t m_length = 0;
};

void WriteReportHeader(ReportText& out, const OptionSource& src, const ChipConfig& cfg);
void WriteChecksumBlock(ReportText& out, const OptionSource& src);
void WriteSettingList(ReportText& out, const ChipConfig& cfg);
void WritePinTable(ReportText& out, const ChipConfig& cfg);
void WriteNoteLines(ReportText& out, const OptionSource& src);
void WriteOptionReport(ReportText& out, const OptionSource& src, const ChipConfig& cfg);

// Pin position where an IO_ITEM's bits begin, read from its name.
int PinStart(const std::string& name);
