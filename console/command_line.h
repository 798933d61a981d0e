#pragma once
#include <string>
#include <vector>

// pyrocmd's command line and exit status. Used by pyrocmd's main.

enum ExitCode {
    kExitOk = 0,
    kExitOperationFailed = 1,  // a chip operation (or a download) did not succeed
    kExitBadCommandLine = 2,
    kExitNoWriter = 3,      // none found, or it stopped answering
    kExitBadImage = 4,      // unreadable, or it cannot serve the run
    kExitSerialUsedUp = 5,  // [Serial] End reached: the station's numbers are used up
    kExitSettings = 6,  // the settings file cannot be read or written (the next serial number too)
    kExitLedgerOffline = 7,  // the ledger cannot be reached, or records still wait
    kExitLogNotWritten = 8,  // lines of the production log wait in its pending file
    kExitInterrupted = 130,  // Ctrl+C: the chips under way were finished
};

enum class ConsoleCommand {
    Help,
    Version,
    Detect,
    Info,
    Download,
    Blank,
    Program,
    Verify,
    Lock,
    Auto,
    ChipInfo,
    Run,
    Ports,
    Job,
};

struct ConsoleArgs {
    ConsoleCommand command = ConsoleCommand::Help;
    std::string strFile;     // image to load first
    int nPort = 0;           // --port, or the one port of --ports; 0 searches [Setting] Ports
    std::vector<int> ports;  // --ports with more than one writer: a gang run
    // --port or --ports as typed, when one names a writer by usb:, loc: or a
    // position: the numbers above are then 0 for those until the ports present resolve them.
    std::vector<std::string> portNames;
    std::vector<std::string> positions;  // resolved: each writer's [Ports] name, or empty
    std::vector<int> searchPorts;        // resolved: [Setting] Ports where it names writers so
    std::string strMcu;  // --mcu; empty keeps the body that the image or [Setting] BodyName names
    int nSerial = -1;    // --serial 1, --no-serial 0, -1 as [Serial] Enable says
    int nCount = 0;      // run: number of chips
    bool bNoWait = false;
    bool bJson = false;
    bool bProbe = false;      // ports: ask each port for a writer
    std::string strChecksum;  // run --checksum: the image's checksum must be this (hex)
    int nMaxFails = 0;       // run --max-fails: stop after this many failed chips in a row; 0 never
    std::string strJob;      // run --job: the sealed job file to run
    std::string strLot;      // run --lot
    std::string strJobCode;  // the job's code, once it was checked
    std::vector<std::string> jobArgs;  // `job`: its own line, after the word
    std::string strError;  // not empty: a bad command line, exit with kExitBadCommandLine
};

// The sub-command's name as typed ("chipinfo"); empty for --help and --version.
const char* ConsoleCommandName(ConsoleCommand command);

// `args` without the program's name, in UTF-8. --help and --version win over
// everything else; options may stand before or after the command.
ConsoleArgs ParseConsoleArgs(const std::vector<std::string>& args);
