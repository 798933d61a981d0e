// Writer emulator: plays the writer unit on a pseudo-terminal so that the
// programs can be run against it (under Wine through a mapped COM port).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/writer_model.h"

using emu::Bytes;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

uint64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Fault {
    std::string kind;  // noreply badsum badcode refuse garbage double
    int count = 1;
    int cmd = -1;  // only frames with this code; -1 = any
    int skip = 0;  // matching frames let through before the fault starts
    Bytes bytes;   // garbage to send before the reply
};

struct Options {
    std::string link, log, control;
    long baud = 38400;
    bool muted = false;
};

class Emulator {
  public:
    explicit Emulator(const Options& o) : m_opt(o) {}

    bool Start() {
        m_start = NowMs();
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
        m_muted = m_opt.muted;
        return OpenPty();
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

    emu::WriterModel model;
    std::deque<Fault> faults;

    // One control line; also used for --do options.
    void Control(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        if (verb.empty() || verb[0] == '#') return;
        Note("control " + line);
        std::vector<std::string> args;
        for (std::string a; in >> a;) args.push_back(a);
        auto value = [&](const std::string& key, long def) {
            for (const std::string& a : args)
                if (a.compare(0, key.size() + 1, key + "=") == 0)
                    return std::strtol(a.c_str() + key.size() + 1, nullptr, 16);
            return def;
        };
        if (verb == "fault" && !args.empty()) {
            Fault f;
            f.kind = args[0];
            f.count = static_cast<int>(value("count", 1));
            f.cmd = static_cast<int>(value("cmd", -1));
            f.skip = static_cast<int>(value("skip", 0));
            for (const std::string& a : args) {
                if (a.compare(0, 6, "bytes=") == 0) {
                    for (size_t i = 6; i + 1 < a.size() + 1; i += 2)
                        f.bytes.push_back(
                            static_cast<uint8_t>(std::strtol(a.substr(i, 2).c_str(), nullptr, 16)));
                }
            }
            if (f.kind == "garbage" && f.bytes.empty()) f.bytes = {0x00};
            faults.push_back(f);
        } else if (verb == "clear") {
            faults.clear();
        } else if (verb == "busy" && !args.empty()) {
            model.SetExtraBusy(static_cast<uint32_t>(std::strtoul(args[0].c_str(), nullptr, 10)),
                               static_cast<int>(value("cmd", -1)));
        } else if (verb == "swap" && !args.empty()) {
            model.swapChips = args[0] == "on";
        } else if (verb == "stuck") {
            model.SetStuck(static_cast<int>(value("cmd", -1)));
        } else if (verb == "final" && !args.empty()) {
            model.SetFinalStatus(static_cast<uint8_t>(std::strtoul(args[0].c_str(), nullptr, 16)));
        } else if (verb == "unplug") {
            m_muted = true;
            if (!args.empty() && args[0] == "close") ClosePty();
        } else if (verb == "plug") {
            m_muted = false;
            if (m_master < 0) OpenPty();
        } else if (verb == "firmware" && args.size() == 2) {
            model.fwLow = static_cast<uint8_t>(std::strtoul(args[0].c_str(), nullptr, 16));
            model.fwHigh = static_cast<uint8_t>(std::strtoul(args[1].c_str(), nullptr, 16));
        } else if (verb == "selftest" && !args.empty()) {
            model.selftestFaults = static_cast<uint8_t>(std::strtoul(args[0].c_str(), nullptr, 16));
        } else if (verb == "chip") {
            emu::Chip c;
            c.pid = static_cast<uint8_t>(value("pid", c.pid));
            c.powerOnId = static_cast<uint16_t>(value("power", c.powerOnId));
            c.softwareId = static_cast<uint16_t>(value("soft", c.softwareId));
            c.romWords = static_cast<uint32_t>(value("rom", c.romWords));
            c.optWords = static_cast<uint16_t>(value("opt", c.optWords));
            c.locked = value("locked", 0) != 0;
            model.chip = c;
        } else if (verb == "word" && args.size() == 2) {
            model.chip.words[std::strtoul(args[0].c_str(), nullptr, 16)] =
                static_cast<uint16_t>(std::strtoul(args[1].c_str(), nullptr, 16));
        } else if (verb == "timing") {
            model.timing.stepMs = static_cast<uint32_t>(value("step", model.timing.stepMs));
            model.timing.eraseMs = static_cast<uint32_t>(value("erase", model.timing.eraseMs));
            model.timing.modeMs = static_cast<uint32_t>(value("mode", model.timing.modeMs));
        } else {
            Note("unknown control: " + line);
        }
    }

  private:
    Options m_opt;
    FILE* m_log = nullptr;
    int m_master = -1, m_slave = -1, m_ctl = -1;
    bool m_muted = false;
    uint64_t m_start = 0, m_lastByte = 0;
    Bytes m_rx;
    std::string m_ctlLine;

    void Line(const char* dir, const Bytes& b) {
        if (!m_log) return;
        std::fprintf(m_log, "%.3f %s", (NowMs() - m_start) / 1000.0, dir);
        for (uint8_t x : b) std::fprintf(m_log, " %02X", x);
        std::fputc('\n', m_log);
        std::fflush(m_log);
    }
    void Note(const std::string& text) {
        if (!m_log) return;
        std::fprintf(m_log, "%.3f -- %s\n", (NowMs() - m_start) / 1000.0, text.c_str());
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
        m_rx.clear();
        Note("pty closed");
    }

    bool ReadPort() {
        uint8_t buf[512];
        const ssize_t n = read(m_master, buf, sizeof buf);
        if (n <= 0) return false;
        m_lastByte = NowMs();
        if (m_muted) {
            Line("RX-IGNORED", Bytes(buf, buf + n));
            return true;
        }
        m_rx.insert(m_rx.end(), buf, buf + n);
        while (!m_rx.empty()) {
            const uint8_t len = m_rx[0];
            if (len < 3 || len > 134) {
                Line("RX-JUNK", {m_rx[0]});
                m_rx.erase(m_rx.begin());
                continue;
            }
            if (m_rx.size() < len) break;
            Bytes frame(m_rx.begin(), m_rx.begin() + len);
            m_rx.erase(m_rx.begin(), m_rx.begin() + len);
            Serve(frame);
        }
        return true;
    }

    // A frame cut short by the sender would otherwise swallow the next one.
    void DropStaleInput() {
        if (!m_rx.empty() && NowMs() - m_lastByte > 300) {
            Line("RX-PARTIAL", m_rx);
            m_rx.clear();
        }
    }

    void Serve(const Bytes& frame) {
        if (emu::Sum8(frame.data(), frame.size() - 1) != frame.back()) {
            Line("RX-BADSUM", frame);
            return;  // a frame the writer cannot trust gets no answer
        }
        Line("RX", frame);
        Bytes reply = model.Handle(frame, NowMs());
        Fault f;
        bool faulty = false;
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->cmd != -1 && it->cmd != frame[1]) continue;
            if (it->skip > 0) {
                --it->skip;
                break;  // later faults wait behind this one
            }
            f = *it;
            faulty = true;
            if (--it->count <= 0) faults.erase(it);
            break;
        }
        if (faulty) {
            Note("fault " + f.kind);
            if (f.kind == "noreply") return;
            if (f.kind == "refuse") reply = emu::Reply({0x91});
            if (f.kind == "badsum" && !reply.empty()) reply.back() ^= 0x5A;
            if (f.kind == "badcode" && reply.size() > 2) {
                reply[1] = 0x7F;
                reply.back() = emu::Sum8(reply.data(), reply.size() - 1);
            }
            if (f.kind == "double") {
                const Bytes once = reply;
                reply.insert(reply.end(), once.begin(), once.end());
            }
            if (f.kind == "garbage") reply.insert(reply.begin(), f.bytes.begin(), f.bytes.end());
        }
        if (!reply.empty()) Send(reply);
    }

    void Send(const Bytes& b) {
        Line("TX", b);
        const long usPerByte = m_opt.baud > 0 ? 10000000L / m_opt.baud : 0;
        const uint64_t start = NowMs();
        for (size_t i = 0; i < b.size();) {
            const size_t chunk = usPerByte ? 1 : b.size() - i;
            const ssize_t w = write(m_master, b.data() + i, chunk);
            if (w < 0) {
                // Nobody drains the line (port closed, program stopped): drop
                // the rest rather than hang.
                if (errno == EAGAIN && !g_stop && NowMs() - start < 1000) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                Line("TX-DROPPED", Bytes(b.begin() + static_cast<long>(i), b.end()));
                return;
            }
            i += static_cast<size_t>(w);
            if (usPerByte) std::this_thread::sleep_for(std::chrono::microseconds(usPerByte));
        }
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
                 "                       [--baud N] [--muted] [--do 'CONTROL LINE']...\n");
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
        else if (a == "--muted")
            o.muted = true;
        else if (a == "--do")
            actions.push_back(next());
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
