// The lock of the native tools and tests: flock on a file beside the name.
// Every open file description locks apart, so other processes are kept out
// by flock; threads of this process meet in a table by name, so that a thread
// holding the lock may take it again (a settings write inside a serial number's
// reservation) and other threads wait for it.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "common/process_lock.h"

namespace {
struct Holder {
    std::thread::id owner;
    int depth = 0;
    int fd = -1;  // the descriptor whose flock is held
};
std::mutex g_tableMutex;
std::condition_variable g_released;
std::map<std::string, Holder> g_table;
}  // namespace

struct ProcessLock::Impl {
    std::string name;
    int fd = -1;
};

ProcessLock::ProcessLock(const std::string& name) : m_impl(std::make_unique<Impl>()) {
    m_impl->name = name;
    m_impl->fd = open((name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

ProcessLock::~ProcessLock() {
    if (m_impl->fd >= 0) close(m_impl->fd);
}

bool ProcessLock::Lock() {
    if (m_impl->fd < 0) return false;
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> hold(g_tableMutex);
    Holder& h = g_table[m_impl->name];
    if (h.depth > 0 && h.owner == self) {
        ++h.depth;
        return true;
    }
    g_released.wait(hold, [&h] { return h.depth == 0; });
    h.owner = self;
    h.depth = 1;
    h.fd = m_impl->fd;
    // Other threads wait in the table, not on the file, while this one waits
    // for other processes.
    hold.unlock();
    int r;
    while ((r = flock(m_impl->fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r == 0) return true;
    hold.lock();
    h.depth = 0;
    g_released.notify_all();
    return false;
}

void ProcessLock::Unlock() {
    const std::lock_guard<std::mutex> hold(g_tableMutex);
    auto it = g_table.find(m_impl->name);
    if (it == g_table.end() || it->second.depth == 0 ||
        it->second.owner != std::this_thread::get_id())
        return;
    if (--it->second.depth > 0) return;
    flock(it->second.fd, LOCK_UN);
    g_released.notify_all();
}
#endif
