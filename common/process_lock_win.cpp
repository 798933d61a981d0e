#include <windows.h>

#include <cstdio>

#include "common/process_lock.h"
#include "common/text_case.h"

// A named mutex of the session's namespace, named by a hash of the path: every
// program of this user that uses the same settings file meets the same one,
// and so does every thread, since a mutex belongs to the thread holding it.
struct ProcessLock::Impl {
    HANDLE mutex = nullptr;
};

namespace {
std::wstring MutexName(const std::string& name) {
    // FNV-1a over the path without regard to case, as the file system sees it.
    uint64_t h = 1469598103934665603ull;
    for (const char c : LowerAscii(name)) {
        h ^= static_cast<unsigned char>(c == '/' ? '\\' : c);
        h *= 1099511628211ull;
    }
    wchar_t text[64];
    std::swprintf(text, 64, L"Local\\Pyrograph-serial-%016llx", static_cast<unsigned long long>(h));
    return text;
}
}  // namespace

ProcessLock::ProcessLock(const std::string& name) : m_impl(std::make_unique<Impl>()) {
    m_impl->mutex = CreateMutexW(nullptr, FALSE, MutexName(name).c_str());
}

ProcessLock::~ProcessLock() {
    if (m_impl->mutex) CloseHandle(m_impl->mutex);
}

bool ProcessLock::Lock() {
    if (!m_impl->mutex) return false;
    // A program that ended while holding it leaves it abandoned: the file it
    // was writing is whole either way (written beside, then moved).
    const DWORD r = WaitForSingleObject(m_impl->mutex, INFINITE);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void ProcessLock::Unlock() {
    if (m_impl->mutex) ReleaseMutex(m_impl->mutex);
}
