#include "console/command_line.h"

#include <algorithm>

#include "common/split_token.h"
#include "common/text_case.h"
#include "console/job_command.h"
#include "writer/port_identity.h"
#include "writer/port_list.h"

namespace {
struct CommandEntry {
    const char* szName;
    ConsoleCommand command;
    bool bFile;  // takes an image file, and needs one
};

const CommandEntry kCommands[] = {
    {"detect", ConsoleCommand::Detect, false},     {"info", ConsoleCommand::Info, true},
    {"download", ConsoleCommand::Download, true},  {"blank", ConsoleCommand::Blank, false},
    {"program", ConsoleCommand::Program, true},    {"verify", ConsoleCommand::Verify, true},
    {"lock", ConsoleCommand::Lock, false},         {"auto", ConsoleCommand::Auto, true},
    {"chipinfo", ConsoleCommand::ChipInfo, false}, {"run", ConsoleCommand::Run, true},
    {"ports", ConsoleCommand::Ports, false},       {"help", ConsoleCommand::Help, false},
};

constexpr unsigned Bit(ConsoleCommand c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kChipCommands = Bit(ConsoleCommand::Download) | Bit(ConsoleCommand::Blank) |
                                   Bit(ConsoleCommand::Program) | Bit(ConsoleCommand::Verify) |
                                   Bit(ConsoleCommand::Lock) | Bit(ConsoleCommand::Auto) |
                                   Bit(ConsoleCommand::ChipInfo) | Bit(ConsoleCommand::Run);
constexpr unsigned kWriterCommands = kChipCommands | Bit(ConsoleCommand::Detect);
constexpr unsigned kNumbering =
    Bit(ConsoleCommand::Program) | Bit(ConsoleCommand::Auto) | Bit(ConsoleCommand::Run);
constexpr unsigned kEvery = ~0u;

using OptionRule = bool (*)(ConsoleArgs& out, const std::string& value, std::string& error);

struct OptionEntry {
    const char* szName;
    unsigned commands;  // Bit() of each command it applies to
    bool bValue;
    const char* szApplies;  // said when it is given to another command
    OptionRule rule;
};

bool ParseCount(const std::string& text, int& count) {
    if (text.empty() || text.size() > 9) return false;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < 1) return false;
    count = n;
    return true;
}

bool Port(ConsoleArgs& out, const std::string& typed, std::string& error) {
    const std::string value = TrimWhite(typed);
    if (IsPortIdentityName(value)) {
        out.portNames = {value};
        return true;
    }
    if (ParsePortName(value, out.nPort)) return true;
    error = "Option --port needs a COM port from 1 to 255 (7 or COM7).";
    return false;
}

bool Ports(ConsoleArgs& out, const std::string& value, std::string& error) {
    std::vector<int> ports;
    std::vector<std::string> names;
    bool named = false;
    std::string rest = TrimWhite(value);
    const bool trailing = !rest.empty() && rest.back() == ',';
    while (!rest.empty() || ports.empty() || trailing) {
        int n = 0;
        const std::string item = TrimWhite(SplitToken(rest, ','));
        if (std::find(names.begin(), names.end(), item) != names.end() && !item.empty()) {
            error = "Option --ports names " + item + " twice.";
            return false;
        }
        if (IsPortIdentityName(item)) {
            named = true;
        } else if (!ParsePortName(item, n)) {
            error =
                "Option --ports needs COM ports from 1 to 255, such as 3,4 or "
                "COM3,COM4, or usb:SERIAL, loc:PATH or positions of [Ports].";
            return false;
        } else if (std::find(ports.begin(), ports.end(), n) != ports.end()) {
            error = "Option --ports names " + PortName(n) + " twice.";
            return false;
        }
        ports.push_back(n);
        names.push_back(item);
    }
    if (named) out.portNames = names;
    if (ports.size() == 1)
        out.nPort = ports[0];
    else
        out.ports = ports;
    return true;
}

bool Checksum(ConsoleArgs& out, const std::string& value, std::string& error) {
    std::string hex = TrimWhite(value);
    if (!hex.empty() && (hex.back() == 'h' || hex.back() == 'H')) hex.pop_back();
    bool ok = !hex.empty() && hex.size() <= 4;
    for (const char c : hex) ok = ok && HexDigitValue(c) >= 0;
    if (!ok) {
        error = "Option --checksum needs the image's checksum, such as E12F.";
        return false;
    }
    out.strChecksum = UpperAscii(hex);
    while (out.strChecksum.size() < 4) out.strChecksum.insert(0, 1, '0');
    return true;
}

bool Mcu(ConsoleArgs& out, const std::string& value, std::string& error) {
    if (value.empty()) error = "Option --mcu needs a body name.";
    out.strMcu = value;
    return !value.empty();
}

bool Count(ConsoleArgs& out, const std::string& value, std::string& error) {
    if (ParseCount(value, out.nCount)) return true;
    error = "Option --count needs a number of chips from 1 to 999999999.";
    return false;
}

bool MaxFails(ConsoleArgs& out, const std::string& value, std::string& error) {
    if (ParseCount(value, out.nMaxFails)) return true;
    error = "Option --max-fails needs a number of chips from 1 to 999999999.";
    return false;
}

bool Serial(ConsoleArgs& out, int on, std::string& error) {
    if (out.nSerial == 1 - on) {
        error = "Options --serial and --no-serial exclude each other.";
        return false;
    }
    out.nSerial = on;
    return true;
}

bool Job(ConsoleArgs& out, const std::string& value, std::string& error) {
    if (value.empty()) error = "Option --job needs a job file.";
    out.strJob = value;
    return !value.empty();
}

bool Lot(ConsoleArgs& out, const std::string& value, std::string& error) {
    out.strLot = TrimWhite(value);
    if (out.strLot.empty()) error = "Option --lot needs a lot number.";
    return !out.strLot.empty();
}

const OptionEntry kOptions[] = {
    {"--port", kWriterCommands, true, "the commands that use a writer", Port},
    {"--ports", Bit(ConsoleCommand::Run), true, "'run'", Ports},
    {"--mcu", kChipCommands, true, "the commands that work on a chip", Mcu},
    {"--count", Bit(ConsoleCommand::Run), true, "'run'", Count},
    {"--checksum", Bit(ConsoleCommand::Run), true, "'run'", Checksum},
    {"--max-fails", Bit(ConsoleCommand::Run), true, "'run'", MaxFails},
    {"--serial", kNumbering, false, "'program', 'auto' and 'run'",
     [](ConsoleArgs& out, const std::string&, std::string& e) { return Serial(out, 1, e); }},
    {"--no-serial", kNumbering, false, "'program', 'auto' and 'run'",
     [](ConsoleArgs& out, const std::string&, std::string& e) { return Serial(out, 0, e); }},
    {"--job", Bit(ConsoleCommand::Run), true, "'run'", Job},
    {"--lot", Bit(ConsoleCommand::Run), true, "'run'", Lot},
    {"--no-wait", Bit(ConsoleCommand::Run), false, "'run'",
     [](ConsoleArgs& out, const std::string&, std::string&) { return out.bNoWait = true; }},
    {"--json", kEvery, false, "",
     [](ConsoleArgs& out, const std::string&, std::string&) { return out.bJson = true; }},
    {"--probe", Bit(ConsoleCommand::Ports), false, "'ports'",
     [](ConsoleArgs& out, const std::string&, std::string&) { return out.bProbe = true; }},
};

ConsoleArgs Fail(std::string error) {
    ConsoleArgs a;
    a.strError = std::move(error);
    return a;
}

bool AsksForHelp(const std::string& a) {
    return a == "--help" || a == "-h" || a == "/?";
}
}  // namespace

const char* ConsoleCommandName(ConsoleCommand command) {
    for (const CommandEntry& c : kCommands)
        if (c.command == command && command != ConsoleCommand::Help) return c.szName;
    return "";
}

ConsoleArgs ParseConsoleArgs(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (AsksForHelp(a)) return ConsoleArgs{};
    }
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--version") {
            ConsoleArgs v;
            v.command = ConsoleCommand::Version;
            return v;
        }
    }

    if (IsJobCommandLine(args)) return JobCommandArgs(args);

    ConsoleArgs out;
    const CommandEntry* command = nullptr;
    std::vector<std::string> operands;
    // Options as given, checked against the command once it is known: it may come last.
    std::vector<const OptionEntry*> given;
    bool bOptionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (bOptionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!command) {
                for (const CommandEntry& c : kCommands)
                    if (arg == c.szName) command = &c;
                if (!command) return Fail("Unknown command '" + arg + "'.");
            } else {
                operands.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            bOptionsEnded = true;
            continue;
        }
        // "--port=7" reads as "--port 7".
        std::string value;
        bool bHasValue = false;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            bHasValue = true;
        }
        const OptionEntry* option = nullptr;
        for (const OptionEntry& o : kOptions)
            if (arg == o.szName) option = &o;
        if (!option) return Fail("Unknown option '" + arg + "'.");
        if (std::find(given.begin(), given.end(), option) != given.end())
            return Fail("Option " + arg + " is given twice.");
        if (option->bValue && !bHasValue) {
            if (i + 1 >= args.size()) return Fail("Option " + arg + " needs a value.");
            value = args[++i];
        } else if (!option->bValue && bHasValue) {
            return Fail("Option " + arg + " takes no value.");
        }
        const bool port = arg == "--port", ports = arg == "--ports";
        for (const OptionEntry* g : given)
            if ((port && g->szName == std::string("--ports")) ||
                (ports && g->szName == std::string("--port")))
                return Fail("Options --port and --ports exclude each other.");
        std::string error;
        if (!option->rule(out, value, error)) return Fail(error);
        given.push_back(option);
    }

    if (!command) return Fail("No command given.");
    if (command->command == ConsoleCommand::Help) {
        if (!operands.empty())
            return Fail("Unexpected argument '" + operands.back() + "' after 'help'.");
        return ConsoleArgs{};
    }
    const std::string name = command->szName;
    if (operands.size() > 1 || (operands.size() == 1 && !command->bFile))
        return Fail("Unexpected argument '" + operands.back() + "' after '" + name + "'.");
    const std::string jobError = JobRunArgsError(out, command->command, !operands.empty());
    if (!jobError.empty()) return Fail(jobError);
    if (operands.empty() && command->bFile && out.strJob.empty())
        return Fail("Command '" + name + "' needs an image file.");
    if (!operands.empty() && operands[0].empty()) return Fail("The image file name is empty.");
    for (const OptionEntry* g : given)
        if (!(g->commands & Bit(command->command)))
            return Fail("Option " + std::string(g->szName) + " does not apply to '" + name +
                        "': it belongs to " + g->szApplies + ".");
    const bool bRun = command->command == ConsoleCommand::Run;
    if (bRun && out.nCount == 0) return Fail("Command 'run' needs --count N.");

    out.command = command->command;
    if (!operands.empty()) out.strFile = operands[0];
    return out;
}
