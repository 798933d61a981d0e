#pragma once
#include <memory>
#include <string>

// A lock that every process of the program (and every thread) takes by the
// same name: here, the settings file's full path. Held while a serial number
// is read from the settings file and the next one written back, so two
// programs never hand out the same number, and around every other access to
// that file, so none meets it half rewritten. A thread that holds it may take
// it again (through any lock of the same name); each Lock needs its Unlock.
class ProcessLock {
  public:
    explicit ProcessLock(const std::string& name);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Waits for the lock; false when it cannot be had at all (then the caller
    // must not go on as if it held it).
    bool Lock();
    void Unlock();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Holds a ProcessLock for a scope.
class ProcessLockGuard {
  public:
    explicit ProcessLockGuard(ProcessLock* lock) : m_lock(lock), m_held(!lock || lock->Lock()) {}
    ~ProcessLockGuard() {
        if (m_lock && m_held) m_lock->Unlock();
    }
    ProcessLockGuard(const ProcessLockGuard&) = delete;
    ProcessLockGuard& operator=(const ProcessLockGuard&) = delete;
    bool Held() const { return m_held; }

  private:
    ProcessLock* m_lock;
    bool m_held;
};
