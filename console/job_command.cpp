#include "console/job_command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/file_io.h"
#include "common/password_hash.h"
#include "common/sha256.h"
#include "common/split_token.h"
#include "common/utf8_text.h"
#include "console/output.h"
#include "core/production_log.h"
#include "core/session_settings.h"
#include "image/body_table.h"
#include "image/job_file.h"
#include "image/open_image.h"
#include "image/otp_file.h"
#include "image/serial_number.h"

namespace {

constexpr size_t kMinPasswordChars = 6;

ConsoleArgs Fail(std::string error) {
    ConsoleArgs a;
    a.strError = std::move(error);
    return a;
}

void Say(const ConsoleIo& io, const std::string& text) {
    io.err("pyrocmd: " + text + "\n");
}

// The job's image, written for the loader under a name of its own: two runs
// of one job may load at the same time.
std::string TempImagePath(const ConsoleIo& io, const JobFile& job) {
    uint8_t tag[6];
    if (!RandomBytes(tag, sizeof tag)) return std::string();
    std::string ext = ".otp";
    const size_t dot = job.strImageName.find_last_of('.');
    if (dot != std::string::npos && job.strImageName.size() - dot <= 5) {
        const std::string e = job.strImageName.substr(dot);
        bool plain = e.size() > 1;
        for (size_t i = 1; i < e.size(); ++i)
            plain = plain && std::isalnum(static_cast<unsigned char>(e[i]));
        if (plain) ext = e;
    }
    return io.tempFolder() + "pgjob-" + HexBytes(tag, sizeof tag) + ext;
}

bool ReadText(const std::string& path, std::string& text) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.size() > kMaxJobFileBytes) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// Reads and checks a job: its seal, then its image as the run would load it.
// kExitOk with `job` filled, else the exit status (said).
int OpenJob(const std::string& path, const Profile& profile, const ConsoleIo& io, JobFile& job) {
    std::string text;
    if (!ReadText(path, text)) {
        Say(io, "Cannot read the job file " + path + ".");
        return kExitBadImage;
    }
    switch (ParseJobFile(text, job)) {
        case JobParse::kOk:
            break;
        case JobParse::kNewFormat:
            Say(io, "The job file " + path + " was made by a later version of this program.");
            return kExitBadImage;
        case JobParse::kDamaged:
            Say(io, JobDamagedText(path));
            return kExitBadImage;
    }
    BodyTable bodies;
    LoadBodyTable(profile, bodies);
    if (!LookupBody(bodies, job.strBody)) {
        Say(io, path + ": no chip body '" + job.strBody + "' in Larkspur.ini.");
        return kExitBadImage;
    }
    const std::string temp = TempImagePath(io, job);
    PcBuffer buf;
    const ImageLoad load = temp.empty()
                               ? ImageLoad().Box("No temporary file for the image.")
                               : LoadJobImage(job, temp, buf, bodies, ChecksumTestEnabled(profile));
    if (!load.bOk) {
        Say(io, JobDamagedText(path));
        for (const std::string& box : load.Boxes()) Say(io, JoinLines(box, " "));
        return kExitBadImage;
    }
    return kExitOk;
}

std::string OnOff(bool on) {
    return on ? "on" : "off";
}

std::string AddressList(const JobFile& job) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%s%Xh", i ? ", " : "", job.nSerialAddr[i]);
        out += text;
    }
    return out;
}

std::string JobText(const std::string& path, const JobFile& job) {
    return "Job: " + job.strName + "\n" + "Code: " + job.strCode + "\n" + "File: " + path + "\n" +
           "Made: " + job.strMade + "\n" + "Body: " + job.strBody + "\n" +
           "Image: " + job.strImageName + ", " + std::to_string(job.image.size()) + " bytes\n" +
           "Checksum: " + job.strChecksum + "\n" + "Auto: " + FormatJobAutoSteps(job) + "\n" +
           "Check ID: " + OnOff(job.bCheckId) + "\n" + "Serial numbers: " + OnOff(job.bSerial) +
           (job.bSerial ? " at " + AddressList(job) : "") + "\n" +
           "Lot number: " + (job.bAskLot ? "asked for" : "not asked for") + "\n" +
           "Seal: " + job.strSeal + "\n";
}

Json JobJson(const std::string& path, const JobFile& job) {
    Json line = JsonObject("job");
    line["file"] = path;
    line["name"] = job.strName;
    line["code"] = job.strCode;
    line["seal"] = job.strSeal;
    line["made"] = job.strMade;
    line["body"] = job.strBody;
    line["image_file"] = job.strImageName;
    line["image_size"] = job.image.size();
    line["checksum"] = job.strChecksum;
    line["auto"] = {{"blank", job.bBlank},
                    {"program", job.bProgram},
                    {"verify", job.bVerify},
                    {"lock", job.bLock}};
    line["check_id"] = job.bCheckId;
    line["serial"] = job.bSerial;
    line["serial_addresses"] = {job.nSerialAddr[0], job.nSerialAddr[1], job.nSerialAddr[2],
                                job.nSerialAddr[3]};
    line["lot"] = job.bAskLot;
    return line;
}

// What `job make` was told; -1: the settings file's.
struct MakeArgs {
    std::string strOut, strImage, strName, strMcu, strAuto;
    int nCheckId = -1, nSerial = -1;
    bool bLot = false;
};

bool ParseMake(const std::vector<std::string>& a, MakeArgs& m, std::string& error) {
    for (size_t i = 1; i < a.size(); ++i) {
        std::string arg = a[i], value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        const bool takes = arg == "--image" || arg == "--name" || arg == "--mcu" || arg == "--auto";
        if (takes && !hasValue) {
            if (i + 1 >= a.size()) return error = "Option " + arg + " needs a value.", false;
            value = a[++i];
        } else if (!takes && hasValue) {
            return error = "Option " + arg + " takes no value.", false;
        }
        if (takes && value.empty()) return error = "Option " + arg + " needs a value.", false;
        if (arg == "--image") {
            m.strImage = value;
        } else if (arg == "--name") {
            m.strName = TrimWhite(value);
        } else if (arg == "--mcu") {
            m.strMcu = value;
        } else if (arg == "--auto") {
            m.strAuto = value;
        } else if (arg == "--check-id" || arg == "--no-check-id") {
            const int on = arg == "--check-id";
            if (m.nCheckId == 1 - on)
                return error = "Options --check-id and --no-check-id exclude each other.", false;
            m.nCheckId = on;
        } else if (arg == "--serial" || arg == "--no-serial") {
            const int on = arg == "--serial";
            if (m.nSerial == 1 - on)
                return error = "Options --serial and --no-serial exclude each other.", false;
            m.nSerial = on;
        } else if (arg == "--lot") {
            m.bLot = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            return error = "Unknown option '" + arg + "' for 'job make'.", false;
        } else if (m.strOut.empty()) {
            m.strOut = arg;
        } else {
            return error = "Unexpected argument '" + arg + "' after 'job make'.", false;
        }
    }
    if (m.strOut.empty()) return error = "Command 'job make' needs the job file to make.", false;
    if (!IsJobPath(m.strOut))
        return error = "The job file's name must end in " + std::string(kJobExtension) + ".", false;
    if (m.strImage.empty()) return error = "Command 'job make' needs --image FILE.", false;
    JobFile steps;
    if (!m.strAuto.empty() && !ParseJobAutoSteps(m.strAuto, steps))
        return error = "Option --auto needs steps from b, p, v and l, such as b,p,v.", false;
    if (Utf8CharacterCount(m.strName) > kMaxJobNameChars)
        return error =
                   "A job's name has at most " + std::to_string(kMaxJobNameChars) + " characters.",
               false;
    return true;
}

std::string FileNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::FILE* f = OpenFileUtf8(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

int MakeJob(const ConsoleArgs& args, Profile& profile, const ConsoleIo& io) {
    MakeArgs m;
    std::string error;
    if (!ParseMake(args.jobArgs, m, error)) {
        io.err(ConsoleUsageError(error));
        return kExitBadCommandLine;
    }
    BodyTable bodies;
    LoadBodyTable(profile, bodies);
    if (bodies.empty()) {
        Say(io, "Cannot find 'Larkspur.ini'");
        return kExitOperationFailed;
    }
    if (!m.strMcu.empty() && !LookupBody(bodies, m.strMcu)) {
        io.err(ConsoleUsageError("No chip body '" + m.strMcu + "' in Larkspur.ini."));
        return kExitBadCommandLine;
    }
    JobFile job;
    if (!ReadWholeFile(m.strImage, job.image) || job.image.size() > kMaxJobImageBytes) {
        Say(io, m.strImage + ": Failed to open file!");
        return kExitBadImage;
    }
    PcBuffer buf;
    const ImageLoad load = LoadImageFile(m.strImage, buf, bodies, ChecksumTestEnabled(profile));
    if (!load.bOk || !buf.m_pBin) {
        const std::vector<std::string> boxes = load.Boxes();
        Say(io, m.strImage + ": " +
                    (boxes.empty() ? std::string("the image holds no ROM block")
                                   : JoinLines(boxes.front(), " ")));
        return kExitBadImage;
    }
    job.strBody = !m.strMcu.empty() ? m.strMcu : load.strBodyName;
    if (job.strBody.empty()) {
        Say(io, m.strImage + ": the image names no chip body of Larkspur.ini: give one with --mcu");
        return kExitBadImage;
    }
    job.strName = !m.strName.empty() ? m.strName : FileNameOf(m.strImage);
    job.strImageName = FileNameOf(m.strImage);
    job.strChecksum = FormatChecksum(BufferChecksum(buf));
    job.strMade = FormatIsoTime(LocalTimeNow());
    const AutoSteps steps = ReadAutoSteps(profile);
    job.bBlank = steps.bBlank;
    job.bProgram = steps.bProgram;
    job.bVerify = steps.bVerify;
    job.bLock = steps.bLock;
    if (!m.strAuto.empty()) ParseJobAutoSteps(m.strAuto, job);
    if (FormatJobAutoSteps(job).empty()) {
        Say(io, "[Auto] in Larkspur.ini selects no step: give the job's steps with --auto");
        return kExitBadCommandLine;
    }
    job.bCheckId = m.nCheckId >= 0 ? m.nCheckId == 1 : profile.GetInt("Setting", "CheckID", 0) != 0;
    const SerialSettings serial = ReadSerialSettings(profile);
    job.bSerial = m.nSerial >= 0 ? m.nSerial == 1 : serial.bEnable;
    job.bAskLot = m.bLot;
    if (IsVoiceBodyName(job.strBody)) {
        // As the window in voice mode: no ID check, no room for numbers.
        job.bCheckId = false;
        job.bSerial = false;
    }
    SerialNumber sn;
    sn.m_bSerial = job.bSerial;
    for (int i = 0; i < 4; ++i) sn.m_nSerialAddr[i] = serial.nAddr[i];
    if (job.bSerial && CheckSerialAddresses(sn, buf)) Say(io, JoinLines(kSerialRangeMessage, " "));
    for (int i = 0; i < 4; ++i) job.nSerialAddr[i] = sn.m_nSerialAddr[i];
    if (job.bSerial && job.bProgram && !SerialFileBlank(sn, buf)) {
        Say(io, m.strImage + ": " + JoinLines(kSerialFileNotBlank, " "));
        return kExitBadImage;
    }
    const std::string text = FormatJobFile(job);
    if (text.empty() || !WriteTextFile(m.strOut, text)) {
        Say(io, "Cannot write the job file " + m.strOut + ".");
        return kExitOperationFailed;
    }
    if (args.bJson)
        io.out(JsonLine(JobJson(m.strOut, job)));
    else
        io.out(JobText(m.strOut, job));
    return kExitOk;
}

int ShowJob(const ConsoleArgs& args, const Profile& profile, const ConsoleIo& io) {
    std::string path;
    for (size_t i = 1; i < args.jobArgs.size(); ++i) {
        const std::string& a = args.jobArgs[i];
        if (a == "--json") continue;
        if (a.compare(0, 2, "--") == 0 || !path.empty()) {
            io.err(ConsoleUsageError("Unexpected argument '" + a + "' after 'job show'."));
            return kExitBadCommandLine;
        }
        path = a;
    }
    if (path.empty()) {
        io.err(ConsoleUsageError("Command 'job show' needs a job file."));
        return kExitBadCommandLine;
    }
    JobFile job;
    if (const int code = OpenJob(path, profile, io, job)) return code;
    io.out(args.bJson ? JsonLine(JobJson(path, job)) : JobText(path, job));
    return kExitOk;
}

bool AskSecret(const ConsoleIo& io, const char* prompt, std::string& text) {
    if (io.bSecretFromConsole) io.err(prompt);
    return io.readSecret(text);
}

int SetPassword(const ConsoleArgs& args, Profile& profile, const ConsoleIo& io) {
    if (args.jobArgs.size() > 1) {
        io.err(ConsoleUsageError("Unexpected argument '" + args.jobArgs[1] +
                                 "' after 'job password'."));
        return kExitBadCommandLine;
    }
    std::string old, first, again;
    // Whoever changes it must know it: the console is no back door past the window.
    if (SupervisorPasswordSet(profile)) {
        if (!AskSecret(io, "Current supervisor password: ", old)) {
            Say(io, "the input has ended: the password is unchanged");
            return kExitOperationFailed;
        }
        if (CheckSupervisorPassword(profile, old) != PasswordCheck::kRight) {
            Say(io, "That is not the supervisor password: it is unchanged.");
            return kExitOperationFailed;
        }
    }
    if (!AskSecret(io, "New supervisor password: ", first)) {
        Say(io, "the input has ended: the password is unchanged");
        return kExitOperationFailed;
    }
    if (Utf8CharacterCount(first) < kMinPasswordChars) {
        Say(io, "A supervisor password has at least " + std::to_string(kMinPasswordChars) +
                    " characters: it is unchanged.");
        return kExitOperationFailed;
    }
    if (io.bSecretFromConsole) {
        if (!AskSecret(io, "The same again: ", again) || again != first) {
            Say(io, "The two passwords differ: it is unchanged.");
            return kExitOperationFailed;
        }
    }
    if (!SetSupervisorPassword(profile, first)) {
        Say(io, "The supervisor password could not be saved in Larkspur.ini.");
        return kExitOperationFailed;
    }
    io.out("The supervisor password is set.\n");
    return kExitOk;
}

}  // namespace

bool IsJobCommandLine(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a.compare(0, 2, "--") != 0) return a == "job";
    return false;
}

ConsoleArgs JobCommandArgs(const std::vector<std::string>& args) {
    ConsoleArgs out;
    out.command = ConsoleCommand::Job;
    // Options may stand before the word, as with every command.
    bool word = false;
    for (const std::string& a : args) {
        if (!word && a == "job") {
            word = true;
            continue;
        }
        out.jobArgs.push_back(a);
    }
    // The verb comes first of what is left that is no option.
    for (size_t i = 0; i < out.jobArgs.size(); ++i) {
        if (out.jobArgs[i].compare(0, 2, "--") == 0) continue;
        std::rotate(out.jobArgs.begin(), out.jobArgs.begin() + static_cast<std::ptrdiff_t>(i),
                    out.jobArgs.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        break;
    }
    for (const std::string& a : out.jobArgs) out.bJson = out.bJson || a == "--json";
    if (out.jobArgs.empty()) return Fail("Command 'job' needs make, show or password.");
    const std::string& verb = out.jobArgs[0];
    if (verb != "make" && verb != "show" && verb != "password")
        return Fail("Unknown job command '" + verb + "': make, show or password.");
    if (out.bJson && verb != "show" && verb != "make")
        return Fail("Option --json belongs to 'job show' and 'job make'.");
    // `make` reads --json with its own options.
    if (verb == "make") {
        std::vector<std::string> rest;
        for (const std::string& a : out.jobArgs)
            if (a != "--json") rest.push_back(a);
        out.jobArgs = rest;
    }
    return out;
}

std::string JobRunArgsError(const ConsoleArgs& args, ConsoleCommand command, bool fileGiven) {
    if (args.strJob.empty()) {
        if (!args.strLot.empty()) return "Option --lot belongs to 'run --job'.";
        return std::string();
    }
    if (command != ConsoleCommand::Run) return "Option --job belongs to 'run'.";
    if (fileGiven) return "An image file contradicts --job: the job holds its image.";
    if (!args.strMcu.empty()) return "Option --mcu contradicts --job: the job names its body.";
    if (args.nSerial != -1)
        return "Options --serial and --no-serial contradict --job: the job sets serial numbers.";
    if (!args.strLot.empty()) return LotNumberError(args.strLot);
    return std::string();
}

int RunJobCommand(const ConsoleArgs& args, Profile& profile, const ConsoleIo& io) {
    const std::string& verb = args.jobArgs.at(0);
    if (verb == "make") return MakeJob(args, profile, io);
    if (verb == "show") return ShowJob(args, profile, io);
    return SetPassword(args, profile, io);
}

int RunJobRun(const ConsoleArgs& args, Profile& profile, const std::vector<Port*>& ports,
              const ConsoleIo& io, const std::string& programDir, const std::string& serialLock) {
    JobFile job;
    if (const int code = OpenJob(args.strJob, profile, io, job)) return code;
    ConsoleArgs run = args;
    if (job.bAskLot && run.strLot.empty()) {
        io.err("Lot number of job " + job.strCode + ": ");
        std::string lot;
        if (!io.readLine(lot)) {
            Say(io, "the input has ended: no lot number, no run");
            return kExitBadCommandLine;
        }
        run.strLot = TrimWhite(lot);
        const std::string error = LotNumberError(run.strLot);
        if (!error.empty()) {
            Say(io, error);
            return kExitBadCommandLine;
        }
    }
    run.strFile = TempImagePath(io, job);
    if (run.strFile.empty() ||
        !WriteTextFile(run.strFile, std::string(job.image.begin(), job.image.end()))) {
        Say(io, "Cannot write the job's image to a temporary file.");
        return kExitOperationFailed;
    }
    run.strJobCode = job.strCode;
    Say(io, "job " + job.strName + " (" + job.strCode + ")" +
                (run.strLot.empty() ? "" : ", lot " + run.strLot));
    JobProfile settings(profile, job);
    const int code = RunPyrocmd(run, settings, ports, io, programDir, serialLock);
    RemoveFileUtf8(run.strFile);
    return code;
}
