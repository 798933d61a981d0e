// Writer emulator: plays the writer unit on a pseudo-terminal so that the
// programs can be run against it (under Wine through a mapped COM port).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/soak_faults.h"
#include "emulator/writer_line.h"

using emu::Bytes;
using emu::ChipRecord;
using emu::RandomFaults;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

uint64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
uint64_t NowMs() {
    return NowUs() / 1000;
}
void SleepUntilUs(uint64_t t) {
    const uint64_t now = NowUs();
    if (t > now) std::this_thread::sleep_for(std::chrono::microseconds(t - now));
}

struct Options {
    std::string link, log, control;
    long baud = 38400;
    bool paceOut = true;  // replies leave byte by byte at the line rate
    bool paceIn = false;  // frames count as received after their line time
    bool muted = false;
    double faultRate = 0;  // --faults RATE[,SEED]
    uint32_t faultSeed = 1;
    std::string chipLog;  // --chip-log FILE
};

class Emulator {
  public:
    explicit Emulator(const Options& o) : m_opt(o) {}

    bool Start() {
        m_start = NowUs();
        line.log = [this](const char* dir, const Bytes& b) { Line(dir, b); };
        line.note = [this](const std::string& t) { Note(t); };
        if (!m_opt.log.empty()) {
            m_log = std::fopen(m_opt.log.c_str(), "w");
            if (!m_log) {
                std::perror(m_opt.log.c_str());
                return false;
            }
        }
        if (!m_opt.control.empty()) {
            unlink(m_opt.control.c_str());
            if (mkfifo(m_opt.control.c_str(), 0600) != 0) {
                std::perror(m_opt.control.c_str());
                return false;
            }
            // Read-write so that the FIFO never reports hang-up between writers.
            m_ctl = open(m_opt.control.c_str(), O_RDWR | O_NONBLOCK);
        }
        line.muted = m_opt.muted;
        if (!m_opt.chipLog.empty() && !StartChipLog()) return false;
        if (m_opt.faultRate > 0) {
            m_faults = std::make_unique<RandomFaults>(line, m_opt.faultRate, m_opt.faultSeed);
            line.onReceive = [this](uint64_t now) { m_faults->Tick(now); };
            line.onFrame = [this](const Bytes& frame, uint64_t now) {
                const std::string kind = m_faults->Frame(frame, now);
                if (!kind.empty() && m_record) m_record->Fault(kind);
            };
        }
        return OpenPty();
    }

    bool StartChipLog() {
        m_chipLog = std::fopen(m_opt.chipLog.c_str(), "w");
        if (!m_chipLog) {
            std::perror(m_opt.chipLog.c_str());
            return false;
        }
        m_record = std::make_unique<ChipRecord>(m_chipLog);
        line.model.onOperation = [this](uint8_t mask, uint8_t final) {
            m_record->Operation(mask, final);
        };
        line.model.onWord = [this](uint32_t addr, uint16_t value) { m_record->Word(addr, value); };
        line.model.onChipOut = [this] { m_record->ChipOut(); };
        return true;
    }

    void Run() {
        while (!g_stop) {
            pollfd fds[2];
            int nfds = 0;
            if (m_master >= 0) fds[nfds++] = {m_master, POLLIN, 0};
            if (m_ctl >= 0) fds[nfds++] = {m_ctl, POLLIN, 0};
            int r = poll(fds, nfds, 50);
            if (r < 0 && errno != EINTR) break;
            bool idle = r > 0;
            for (int i = 0; i < nfds && r > 0; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                if (fds[i].fd == m_master ? ReadPort() : ReadControl()) idle = false;
            }
            // A hung-up or failing descriptor stays "ready" with nothing to
            // read; do not spin on it.
            if (idle) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            DropStaleInput();
        }
        Note("stopped");
        if (!m_opt.link.empty()) unlink(m_opt.link.c_str());
        if (!m_opt.control.empty()) unlink(m_opt.control.c_str());
    }

    emu::WriterLine line;

    // One control line; also used for --do options.
    void Control(const std::string& cmd) {
        if (!line.Control(cmd)) return;
        std::istringstream in(cmd);
        std::string verb, arg;
        in >> verb >> arg;
        if (verb == "unplug" && arg == "close") ClosePty();
        if (verb == "plug" && m_master < 0) OpenPty();
    }

  private:
    Options m_opt;
    FILE* m_log = nullptr;
    FILE* m_chipLog = nullptr;
    std::unique_ptr<ChipRecord> m_record;
    std::unique_ptr<RandomFaults> m_faults;
    int m_master = -1, m_slave = -1, m_ctl = -1;
    uint64_t m_start = 0, m_lastByte = 0;
    uint64_t m_rxStart = 0;   // arrival of the first byte of the frame being received
    uint64_t m_lineFree = 0;  // when the bytes received so far are through the line
    std::string m_ctlLine;

    long UsPerByte() const { return m_opt.baud > 0 ? 10000000L / m_opt.baud : 0; }

    // Lines are stamped in microseconds since the start: the turn-arounds of
    // the program are a few hundred of them.
    void Line(const char* dir, const Bytes& b, uint64_t at = 0) {
        if (!m_log) return;
        if (!at) at = std::strncmp(dir, "RX", 2) == 0 && m_rxStart ? m_rxStart : NowUs();
        std::fprintf(m_log, "%.6f %s", (at - m_start) / 1e6, dir);
        for (uint8_t x : b) std::fprintf(m_log, " %02X", x);
        std::fputc('\n', m_log);
        std::fflush(m_log);
    }
    void Note(const std::string& text) {
        if (!m_log) return;
        std::fprintf(m_log, "%.6f -- %s\n", (NowUs() - m_start) / 1e6, text.c_str());
        std::fflush(m_log);
    }

    bool OpenPty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            std::perror("posix_openpt");
            return false;
        }
        const char* name = ptsname(m_master);
        // Hold the slave open in raw mode: no echo of our replies back to us
        // before the program configures the line, and no hang-up while it has
        // the port closed.
        m_slave = open(name, O_RDWR | O_NOCTTY);
        termios t;
        if (m_slave >= 0 && tcgetattr(m_slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(m_slave, TCSANOW, &t);
        }
        fcntl(m_master, F_SETFL, O_NONBLOCK);
        if (!m_opt.link.empty()) {
            const std::string tmp = m_opt.link + ".new";
            unlink(tmp.c_str());
            if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), m_opt.link.c_str()) != 0) {
                std::perror(m_opt.link.c_str());
                return false;
            }
        }
        std::printf("%s\n", name);
        std::fflush(stdout);
        Note(std::string("pty ") + name);
        return true;
    }

    void ClosePty() {
        if (m_slave >= 0) close(m_slave);
        if (m_master >= 0) close(m_master);
        m_slave = m_master = -1;
        line.DropPartial();
        Note("pty closed");
    }

    bool ReadPort() {
        uint8_t buf[512];
        const ssize_t n = read(m_master, buf, sizeof buf);
        if (n <= 0) return false;
        const uint64_t now = NowUs();
        m_lastByte = now / 1000;
        if (!line.HasPartial()) m_rxStart = now;
        if (m_opt.paceIn && UsPerByte()) {
            // The bytes come through the line one after another; the writer
            // sees the last of them only when its stop bit is through.
            m_lineFree = std::max(m_lineFree, now) + static_cast<uint64_t>(n) * UsPerByte();
            SleepUntilUs(m_lineFree);
        }
        const Bytes reply = line.Receive(buf, static_cast<size_t>(n), NowMs());
        if (!line.HasPartial()) m_rxStart = 0;
        if (!reply.empty()) Send(reply);
        return true;
    }

    void DropStaleInput() {
        if (line.HasPartial() && NowMs() - m_lastByte > 300) {
            line.DropPartial();
            m_rxStart = 0;
        }
    }

    void Send(const Bytes& b) {
        Line("TX", b);
        const long us = m_opt.paceOut ? UsPerByte() : 0;
        const uint64_t start = NowUs();
        for (size_t i = 0; i < b.size();) {
            // A byte reaches the other end once its stop bit is through.
            if (us) SleepUntilUs(start + (i + 1) * static_cast<uint64_t>(us));
            const size_t chunk = us ? 1 : b.size() - i;
            const ssize_t w = write(m_master, b.data() + i, chunk);
            if (w < 0) {
                // Nobody drains the line (port closed, program stopped): drop
                // the rest rather than hang.
                if (errno == EAGAIN && !g_stop && NowUs() - start < 1000000) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                Line("TX-DROPPED", Bytes(b.begin() + static_cast<long>(i), b.end()));
                return;
            }
            i += static_cast<size_t>(w);
        }
        Line("TX-END", {});
    }

    bool ReadControl() {
        char buf[256];
        ssize_t n;
        bool any = false;
        while ((n = read(m_ctl, buf, sizeof buf)) > 0) {
            any = true;
            m_ctlLine.append(buf, static_cast<size_t>(n));
            size_t nl;
            while ((nl = m_ctlLine.find('\n')) != std::string::npos) {
                const std::string line = m_ctlLine.substr(0, nl);
                m_ctlLine.erase(0, nl + 1);
                Control(line);
            }
        }
        return any;
    }
};

void Usage() {
    std::fprintf(stderr,
                 "usage: writer_emulator [--link PATH] [--log FILE] [--control FIFO]\n"
                 "                       [--baud N] [--pace in,out|in|out|none] [--muted]\n"
                 "                       [--do 'CONTROL LINE']... [--faults RATE[,SEED]]\n"
                 "                       [--chip-log FILE]\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> actions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link")
            o.link = next();
        else if (a == "--log")
            o.log = next();
        else if (a == "--control")
            o.control = next();
        else if (a == "--baud")
            o.baud = std::strtol(next().c_str(), nullptr, 10);
        else if (a == "--pace") {
            const std::string p = next();
            o.paceIn = p.find("in") != std::string::npos;
            o.paceOut = p.find("out") != std::string::npos;
        } else if (a == "--muted")
            o.muted = true;
        else if (a == "--do")
            actions.push_back(next());
        else if (a == "--faults") {
            const std::string v = next();
            o.faultRate = std::strtod(v.c_str(), nullptr);
            const size_t comma = v.find(',');
            if (comma != std::string::npos)
                o.faultSeed =
                    static_cast<uint32_t>(std::strtoul(v.c_str() + comma + 1, nullptr, 10));
        } else if (a == "--chip-log")
            o.chipLog = next();
        else {
            Usage();
            return 2;
        }
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    Emulator e(o);
    if (!e.Start()) return 1;
    for (const std::string& a : actions) e.Control(a);
    e.Run();
    return 0;
}
