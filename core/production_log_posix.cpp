// The log's platform half for the native tools and tests; the Windows programs
// use production_log_win.cpp.
#ifndef _WIN32
#include <fcntl.h>
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
#endif
