// The log's platform half for the native tools and tests; the Windows programs
// use production_log_win.cpp.
#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/production_log.h"

bool AppendLogLine(const std::string& path, const std::string& header, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st;
    const std::string text = fstat(fd, &st) == 0 && st.st_size == 0 ? header + line : line;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (written) fsync(fd);  // best effort against a power cut
    return close(fd) == 0 && written;
}

bool ReplaceLogFile(const std::string& path, const std::string& text) {
    if (text.empty()) return unlink(path.c_str()) == 0 || errno == ENOENT;
    // A new file renamed over the old one: a crash leaves the one or the other whole.
    const std::string temp = path + ".new";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written =
        write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        return false;
    }
    return rename(temp.c_str(), path.c_str()) == 0;
}
#endif
