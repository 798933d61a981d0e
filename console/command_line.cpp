#include "console/command_line.h"

#include <algorithm>

#include "common/split_token.h"
#include "common/text_case.h"
#include "writer/port_list.h"

namespace {
struct CommandEntry {
    const char* szName;
    ConsoleCommand command;
    char cFile;  // 'r' file required, 'n' none
};

const CommandEntry kCommands[] = {
    {"detect", ConsoleCommand::Detect, 'n'},     {"info", ConsoleCommand::Info, 'r'},
    {"download", ConsoleCommand::Download, 'r'}, {"blank", ConsoleCommand::Blank, 'n'},
    {"program", ConsoleCommand::Program, 'r'},   {"verify", ConsoleCommand::Verify, 'r'},
    {"lock", ConsoleCommand::Lock, 'n'},         {"auto", ConsoleCommand::Auto, 'r'},
    {"chipinfo", ConsoleCommand::ChipInfo, 'n'}, {"run", ConsoleCommand::Run, 'r'},
    {"ports", ConsoleCommand::Ports, 'n'},
};

}  // namespace

const char* ConsoleCommandName(ConsoleCommand command) {
    for (const CommandEntry& c : kCommands)
        if (c.command == command) return c.szName;
    return "";
}

namespace {

ConsoleArgs Fail(std::string error) {
    ConsoleArgs a;
    a.strError = std::move(error);
    return a;
}

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
}  // namespace

ConsoleArgs ParseConsoleArgs(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help") return ConsoleArgs{};
    }
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--version") {
            ConsoleArgs v;
            v.command = ConsoleCommand::Version;
            return v;
        }
    }

    ConsoleArgs out;
    const CommandEntry* command = nullptr;
    std::vector<std::string> operands;
    bool bCountGiven = false, bOptionsEnded = false, bPortGiven = false, bPortsGiven = false;
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
        const bool bTakesValue = arg == "--port" || arg == "--ports" || arg == "--mcu" ||
                                 arg == "--count" || arg == "--checksum" || arg == "--max-fails";
        if (bTakesValue && !bHasValue) {
            if (i + 1 >= args.size()) return Fail("Option " + arg + " needs a value.");
            value = args[++i];
        } else if (!bTakesValue && bHasValue) {
            return Fail("Option " + arg + " takes no value.");
        }
        if (arg == "--port") {
            if (bPortsGiven) return Fail("Options --port and --ports exclude each other.");
            if (!ParsePortName(value, out.nPort))
                return Fail("Option --port needs a COM port from 1 to 255 (7 or COM7).");
            bPortGiven = true;
        } else if (arg == "--ports") {
            if (bPortGiven) return Fail("Options --port and --ports exclude each other.");
            std::vector<int> ports;
            std::string rest = TrimWhite(value);
            const bool trailing = !rest.empty() && rest.back() == ',';
            while (!rest.empty() || ports.empty() || trailing) {
                int n = 0;
                if (!ParsePortName(TrimWhite(SplitToken(rest, ',')), n))
                    return Fail(
                        "Option --ports needs COM ports from 1 to 255, such as 3,4 or "
                        "COM3,COM4.");
                if (std::find(ports.begin(), ports.end(), n) != ports.end())
                    return Fail("Option --ports names " + PortName(n) + " twice.");
                ports.push_back(n);
            }
            if (ports.size() == 1)
                out.nPort = ports[0];
            else
                out.ports = ports;
            bPortsGiven = true;
        } else if (arg == "--checksum") {
            std::string hex = TrimWhite(value);
            if (!hex.empty() && (hex.back() == 'h' || hex.back() == 'H')) hex.pop_back();
            bool ok = !hex.empty() && hex.size() <= 4;
            for (const char c : hex) ok = ok && HexDigitValue(c) >= 0;
            if (!ok) return Fail("Option --checksum needs the image's checksum, such as E12F.");
            out.strChecksum = UpperAscii(hex);
            while (out.strChecksum.size() < 4) out.strChecksum.insert(0, 1, '0');
        } else if (arg == "--mcu") {
            if (value.empty()) return Fail("Option --mcu needs a body name.");
            out.strMcu = value;
        } else if (arg == "--count") {
            if (!ParseCount(value, out.nCount))
                return Fail("Option --count needs a number of chips from 1 to 999999999.");
            bCountGiven = true;
        } else if (arg == "--max-fails") {
            if (!ParseCount(value, out.nMaxFails))
                return Fail("Option --max-fails needs a number of chips from 1 to 999999999.");
        } else if (arg == "--serial" || arg == "--no-serial") {
            const int on = arg == "--serial" ? 1 : 0;
            if (out.nSerial == 1 - on)
                return Fail("Options --serial and --no-serial exclude each other.");
            out.nSerial = on;
        } else if (arg == "--no-wait") {
            out.bNoWait = true;
        } else if (arg == "--json") {
            out.bJson = true;
        } else if (arg == "--probe") {
            out.bProbe = true;
        } else {
            return Fail("Unknown option '" + arg + "'.");
        }
    }

    if (!command) return Fail("No command given.");
    const std::string name = command->szName;
    if (operands.size() > 1 || (operands.size() == 1 && command->cFile == 'n'))
        return Fail("Unexpected argument '" + operands.back() + "' after '" + name + "'.");
    if (operands.empty() && command->cFile == 'r')
        return Fail("Command '" + name + "' needs an image file.");
    if (!operands.empty() && operands[0].empty()) return Fail("The image file name is empty.");
    const bool bRun = command->command == ConsoleCommand::Run;
    if (bRun && !bCountGiven) return Fail("Command 'run' needs --count N.");
    if (!bRun && (bCountGiven || out.bNoWait || !out.strChecksum.empty() || out.nMaxFails))
        return Fail("Options --count, --no-wait, --checksum and --max-fails belong to 'run'.");
    if (!bRun && !out.ports.empty())
        return Fail("Several --ports belong to 'run'; other commands take one writer (--port N).");

    if (out.bProbe && command->command != ConsoleCommand::Ports)
        return Fail("Option --probe belongs to 'ports'.");

    out.command = command->command;
    if (!operands.empty()) out.strFile = operands[0];
    return out;
}
