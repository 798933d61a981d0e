#pragma once
#include <mutex>
#include <string>

#include "common/profile.h"

// One settings file under writers that run side by side on threads of one
// program: a call at a time, so none reads the file half rewritten.
class LockedProfile : public Profile {
  public:
    explicit LockedProfile(Profile& base) : m_base(base) {}
    int GetInt(const std::string& s, const std::string& k, int def) const override {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_base.GetInt(s, k, def);
    }
    std::string GetString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_base.GetString(s, k, def);
    }
    void WriteInt(const std::string& s, const std::string& k, int v) override {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_base.WriteInt(s, k, v);
    }
    void WriteString(const std::string& s, const std::string& k, const std::string& v) override {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_base.WriteString(s, k, v);
    }
    bool WriteIntDurable(const std::string& s, const std::string& k, int v) override {
        const std::lock_guard<std::mutex> hold(m_mutex);
        return m_base.WriteIntDurable(s, k, v);
    }

  private:
    Profile& m_base;
    mutable std::mutex m_mutex;
};
