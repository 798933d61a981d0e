#include "optdump/option_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "optdump/chip_config.h"
#include "optdump/option_source.h"

namespace {

const std::string kSeparator = std::string(83, '-') + "\r\n";
const char kPinLetters[] = {'Y', 'N', 'X', 'M'};

std::string PadTo(const std::string& s, size_t width) {
    return s.size() < width ? s + std::string(width - s.size(), ' ') : s;
}

std::string Hex4(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

void WriteOneBitRow(ReportText& out, const ConfigItem& item) {
    char cells[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    int pos = PinStart(item.name);
    for (int bit = 0; bit < 8 && pos < 8; ++bit) {
        if (!(item.mask & (1u << bit))) continue;
        cells[pos++] = (item.value & (1u << bit)) ? '1' : '0';
    }
    std::string one;
    std::string zero;
    for (const ItemChoice& c : item.choices) (c.value ? one : zero) = c.text;
    std::string row = PadTo(item.name, 25);
    for (int p = 7; p >= 0; --p) {
        row += cells[p];
        row += ' ';
    }
    out.Append(row + "  1:" + one + ", 0:" + zero + "\r\n");
}

void WriteTwoBitRow(ReportText& out, const ConfigItem& item) {
    const size_t letters = std::min<size_t>(item.choices.size(), sizeof kPinLetters);
    std::string legend = " ";
    for (size_t i = 0; i < letters; ++i) {
        if (i) legend += ", ";
        legend += kPinLetters[i];
        legend += ": " + item.choices[i].text;
    }
    std::string row = PadTo(item.name, 25);
    if (item.name.size() + legend.size() < 25)
        row += std::string(25 - item.name.size() - legend.size(), ' ');
    for (int n = 7; n >= 0; --n) {
        const uint32_t pair = (1u << n) | (1u << (n + 8));
        if ((item.mask & pair) != pair) {
            row += "- ";
            continue;
        }
        char cell = '?';  // a bit pair no choice describes
        for (size_t i = 0; i < letters; ++i) {
            if ((static_cast<uint32_t>(item.choices[i].value) << n) == (item.value & pair)) {
                cell = kPinLetters[i];
                break;
            }
        }
        row += cell;
        row += ' ';
    }
    out.Append(row + legend + "\r\n");
}

}  // namespace

void ReportText::Append(const char* s, size_t n) {
    const size_t room = kReportBlockBytes - 1 - m_length;
    if (n > room) n = room;
    std::memcpy(m_block + m_length, s, n);
    m_length += n;
    m_block[m_length] = '\0';
}

void ReportText::Truncate(size_t length) {
    if (length >= m_length) return;
    m_length = length;
    m_block[m_length] = '\0';
}

int PinStart(const std::string& name) {
    const size_t dash = name.rfind('-');
    if (dash == std::string::npos || dash == 0) return 0;
    size_t b = dash;
    while (b > 0 && std::isdigit(static_cast<unsigned char>(name[b - 1]))) --b;
    int pos = 0;
    for (size_t i = b; i < dash; ++i) pos = (pos * 10 + (name[i] - '0')) % 8;
    return pos;
}

void WriteReportHeader(ReportText& out, const OptionSource& src, const ChipConfig& cfg) {
    out.Append("Product Name : ____________\r\n");
    out.Append("MCU     Name : " + cfg.bodyName + "\r\n");
    out.Append("File    Name : " + src.fileName + "\r\n");
    if (src.kind != SourceKind::kOtp) {
        const unsigned major = src.ideVersion & 0xFF;
        const unsigned minor = src.ideVersion >> 12;
        const unsigned pack = (src.ideVersion >> 8) & 0x0F;
        char buf[64];
        if (pack)
            std::snprintf(buf, sizeof buf, "Tarnix  Ver. : %u.%u SP%1u\r\n", major, minor, pack);
        else
            std::snprintf(buf, sizeof buf, "Tarnix  Ver. : %u.%u\r\n", major, minor);
        out.Append(buf);
    }
    if (cfg.versionType == 1)
        out.Append("\r\nNOTE: The underlying chip is an ENGINEERING version.\r\n");
    out.Append(kSeparator);
}

void WriteChecksumBlock(ReportText& out, const OptionSource& src) {
    out.Append("File      Checksum : [ " + Hex4(src.fileChecksum) +
               " ]\nProgram Code Checksum : [ " + Hex4(src.programChecksum) + " ]\r\n");
    const unsigned both = static_cast<unsigned>(src.programChecksum) + src.optionChecksum;
    out.Append(std::string(src.kind == SourceKind::kOtp ? "OTP " : "MASK") + " Code Checksum : [ " +
               Hex4(both) + " ] (Program code checksum + Option code checksum)\r\n");
    out.Append(kSeparator);
}

void WriteSettingList(ReportText& out, const ChipConfig& cfg) {
    for (const ConfigItem& item : cfg.items) {
        if (item.kind != "NON_IO_ITEM") continue;
        for (const ItemChoice& c : item.choices) {
            if (c.value != item.value) continue;
            if (!c.condition.empty() && !EvaluateCondition(cfg, c.condition)) continue;
            out.Append(PadTo(item.name, 30) + c.text + "\r\n");
        }
    }
    out.Append(kSeparator);
}

void WritePinTable(ReportText& out, const ChipConfig& cfg) {
    const size_t before = out.Length();
    out.Append(std::string(25, ' ') + "7 6 5 4 3 2 1 0\r\n");
    bool rows = false;
    for (const ConfigItem& item : cfg.items) {
        if (item.kind != "IO_ITEM") continue;
        WriteOneBitRow(out, item);
        rows = true;
    }
    for (const ConfigItem& item : cfg.items) {
        if (item.kind != "IO2_ITEM") continue;
        WriteTwoBitRow(out, item);
        rows = true;
    }
    if (rows)
        out.Append(kSeparator);
    else
        out.Truncate(before);
}

void WriteNoteLines(ReportText& out, const OptionSource& src) {
    for (const std::string& note : src.noteLines) out.Append(note + "\r\n");
    if (!src.noteLines.empty()) out.Append(kSeparator);
}

void WriteOptionReport(ReportText& out, const OptionSource& src, const ChipConfig& cfg) {
    WriteReportHeader(out, src, cfg);
    WriteChecksumBlock(out, src);
    WriteSettingList(out, cfg);
    WritePinTable(out, cfg);
    WriteNoteLines(out, src);
}
