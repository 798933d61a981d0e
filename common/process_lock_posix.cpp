// The lock of the native tools and tests: flock on a file beside the name.
// Every open file description locks apart, so threads exclude each other too.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/process_lock.h"

struct ProcessLock::Impl {
    int fd = -1;
};

ProcessLock::ProcessLock(const std::string& name) : m_impl(std::make_unique<Impl>()) {
    m_impl->fd = open((name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

ProcessLock::~ProcessLock() {
    if (m_impl->fd >= 0) close(m_impl->fd);
}

bool ProcessLock::Lock() {
    if (m_impl->fd < 0) return false;
    while (flock(m_impl->fd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

void ProcessLock::Unlock() {
    if (m_impl->fd >= 0) flock(m_impl->fd, LOCK_UN);
}
#endif
