#include "optdump/option_dump.h"

#include <algorithm>
#include <new>

#include "common/text_case.h"
#include "optdump/option_report.h"
#include "plinth/plinth_rules.h"

const char* EnglishMessage(int id) {
    static const char* const kTexts[] = {
        "",
        "Open '%s' error",
        "OTP record checksum error",
        "OTP file missing header record",
        "Invalid CFG file",
        "Unable to get version from '%s'. Possible old .CFG format",
        "CFG version type is not supported.",
        "Fail to process 'Body' section.",
        "'%s' is invalid",
        "Unable to get information from '%s'",
        "Error loading '%s'",
        "Error getting function in '%s'.",
    };
    return id >= 1 && id <= 11 ? kTexts[id] : "";
}

std::string FormatMessageText(const std::string& format, const std::string& arg) {
    const size_t p = format.find("%s");
    if (p == std::string::npos) return format;
    return format.substr(0, p) + arg + format.substr(p + 2);
}

std::string OptDumpHost::UpperPath(const std::string& path) {
    return UpperAscii(path);
}

bool OptDumpHost::QueryOptionArea(uint16_t pid, const uint8_t* rest, uint32_t count,
                                  uint32_t* address, uint32_t* length) {
    PlinthInfo info;
    if (!DecodeProjectHeader(pid, rest, count, &info)) return false;
    *address = info.optionAddress;
    *length = info.optionBytes;
    return true;
}

char* OptionDumper::NewBlock() {
    char* block = new (std::nothrow) char[kReportBlockBytes]();
    if (block) m_blocks.emplace_back(block);
    return block;
}

std::string OptionDumper::ConfigPath(const std::string& body) const {
    return m_host.LibraryDir() + body + ".CFG";
}

const char* OptionDumper::DumpOtp(const char* path, const char* body) {
    char* block = NewBlock();
    if (!block) return nullptr;
    ReportText out(block);
    m_source.Reset();
    m_config.Reset();
    if (!ReadOtpSource(path ? path : "", &m_source, m_host)) return nullptr;
    m_source.kind = SourceKind::kOtp;
    m_source.bodyName = body ? body : "";
    if (!LoadChipConfig(ConfigPath(m_source.bodyName), &m_config, m_host)) return nullptr;

    if (m_config.noMaskPlugin) {
        ComputeItemValues(&m_config, &m_source);
        WriteOptionReport(out, m_source, m_config);
        return block;
    }
    WriteReportHeader(out, m_source, m_config);
    WriteChecksumBlock(out, m_source);
    const std::string plugin = m_host.LibraryDir() + m_source.bodyName + ".DLL";
    // The plug-in reads the whole option area, so it gets a block at least
    // that long even when the image held fewer bytes (missing ones are 0).
    std::vector<uint8_t> options(m_source.optionData ? *m_source.optionData
                                                     : std::vector<uint8_t>());
    options.resize(std::max<size_t>({options.size(), m_source.optionSize, kOptImageBytes}), 0);
    std::string text;
    switch (m_host.RunMaskPlugin(plugin, options.data(), &text)) {
        case OptDumpHost::PluginResult::kNotLoadable:
            m_host.ShowMessage(10, plugin);
            return block;
        case OptDumpHost::PluginResult::kNoExport:
            m_host.ShowMessage(11, plugin);
            return block;
        case OptDumpHost::PluginResult::kText:
            break;
    }
    out.Append(text);
    WriteNoteLines(out, m_source);
    return block;
}

const char* OptionDumper::DumpCod(const char* path) {
    char* block = NewBlock();
    if (!block) return nullptr;
    ReportText out(block);
    m_source.Reset();
    m_config.Reset();
    if (!ReadCodSource(path ? path : "", &m_source, m_host)) return nullptr;
    m_source.kind = SourceKind::kCod;
    if (!LoadChipConfig(ConfigPath(m_source.bodyName), &m_config, m_host)) return nullptr;
    if (m_config.bodyValues[0] + m_config.bodyValues[1] - 1 != m_source.programLast) return nullptr;
    ComputeItemValues(&m_config, &m_source);
    WriteOptionReport(out, m_source, m_config);
    return block;
}

const char* OptionDumper::DumpOpt(const char* body, const char* path) {
    char* block = NewBlock();
    if (!block) return nullptr;
    ReportText out(block);
    m_source.Reset();
    m_config.Reset();
    m_source.kind = SourceKind::kOpt;
    m_source.bodyName = body ? body : "";
    m_source.fileName = path ? path : "";
    if (!LoadChipConfig(ConfigPath(m_source.bodyName), &m_config, m_host)) return nullptr;
    ReadOptSource(m_source.fileName, &m_config, m_host);
    WriteOptionReport(out, m_source, m_config);
    return block;
}
