#pragma once
#include <memory>
#include <string>
#include <vector>

#include "optdump/chip_config.h"
#include "optdump/dump_host.h"
#include "optdump/option_source.h"

// The per-call frame of the three exports: reset, read, load the chip
// configuration, compute the values, write the report.
class OptionDumper {
  public:
    explicit OptionDumper(OptDumpHost& host) : m_host(host) {}

    const char* DumpOtp(const char* path, const char* body);
    const char* DumpCod(const char* path);
    const char* DumpOpt(const char* body, const char* path);

    const OptionSource& Source() const { return m_source; }
    const ChipConfig& Config() const { return m_config; }

  private:
    char* NewBlock();
    std::string ConfigPath(const std::string& body) const;

    OptDumpHost& m_host;
    OptionSource m_source;
    ChipConfig m_config;
    // Callers keep pointers into earlier blocks, so they live as long as we do.
    std::vector<std::unique_ptr<char[]>> m_blocks;
};
