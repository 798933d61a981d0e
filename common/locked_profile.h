#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "common/process_lock.h"
#include "common/profile.h"

// One settings file under writers that run side by side: threads of one
// program, a call at a time, and, given the lock's name, other programs too.
// Every call then holds the process lock, so no program reads the file half
// rewritten or writes back a copy that misses what another one wrote under
// that lock (the next serial number).
class LockedProfile : public Profile {
  public:
    explicit LockedProfile(Profile& base, const std::string& lockName = std::string())
        : m_base(base), m_lock(lockName.empty() ? nullptr : new ProcessLock(lockName)) {}
    int GetInt(const std::string& s, const std::string& k, int def) const override {
        const Hold hold(*this);
        return m_base.GetInt(s, k, def);
    }
    std::string GetString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        const Hold hold(*this);
        return m_base.GetString(s, k, def);
    }
    void WriteInt(const std::string& s, const std::string& k, int v) override {
        const Hold hold(*this);
        m_base.WriteInt(s, k, v);
    }
    void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
        const Hold hold(*this);
        m_base.WriteString(s, k, v);
    }
    bool WriteStringDurable(const std::string& s, const std::string& k,
                            const std::string& v) override {
        const Hold hold(*this);
        return m_base.WriteStringDurable(s, k, v);
    }

  private:
    // The process lock first: a thread that already holds it (a serial number's
    // reservation) must not wait for the mutex of one that waits for it.
    struct Hold {
        explicit Hold(const LockedProfile& p) : process(p.m_lock.get()), local(p.m_mutex) {}
        ProcessLockGuard process;
        std::lock_guard<std::mutex> local;
    };
    Profile& m_base;
    std::unique_ptr<ProcessLock> m_lock;
    mutable std::mutex m_mutex;
};
