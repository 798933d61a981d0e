/* Preloaded into Wine for the tests: a pseudo-terminal has no modem lines, so
 * the modem-line ioctls on pty slaves are answered as a cable with CTS, DSR and
 * CD up would answer them. Everything else goes to the real ioctl.
 * The machine's own serial ports (/dev/ttyS*, often its console) are hidden,
 * so a COM port the tests did not map is simply absent. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int g_lines = TIOCM_RTS | TIOCM_DTR;

static int IsPtySlave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
    /* Unix98 pty slaves use majors 136 to 143. */
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    va_list ap;
    void* arg;
    va_start(ap, request);
    arg = va_arg(ap, void*);
    va_end(ap);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
         request == TIOCMBIC) &&
        IsPtySlave(fd)) {
        int* bits = (int*)arg;
        if (!bits) return real(fd, request, arg);
        switch (request) {
            case TIOCMGET:
                *bits = g_lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
                break;
            case TIOCMSET:
                g_lines = *bits & (TIOCM_RTS | TIOCM_DTR);
                break;
            case TIOCMBIS:
                g_lines |= *bits & (TIOCM_RTS | TIOCM_DTR);
                break;
            default:
                g_lines &= ~(*bits & (TIOCM_RTS | TIOCM_DTR));
                break;
        }
        return 0;
    }
    return real(fd, request, arg);
}

/* Wine reaches a port through its dosdevices link, so the link is followed. */
static int Hidden(const char* path) {
    char real[PATH_MAX];
    if (!path) return 0;
    if (strncmp(path, "/dev/ttyS", 9) == 0) return 1;
    if (!strstr(path, "/dosdevices/com") || !realpath(path, real)) return 0;
    return strncmp(real, "/dev/ttyS", 9) == 0;
}

/* The mode argument is there only when the flags create a file. */
static mode_t ModeArg(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
}

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);

static int Open(const char* name, const char* path, int flags, mode_t mode) {
    OpenFn real;
    if (Hidden(path)) {
        errno = ENOENT;
        return -1;
    }
    real = (OpenFn)dlsym(RTLD_NEXT, name);
    return real(path, flags, mode);
}

int open(const char* path, int flags, ...) {
    va_list ap;
    mode_t mode;
    va_start(ap, flags);
    mode = ModeArg(flags, ap);
    va_end(ap);
    return Open("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    mode_t mode;
    va_start(ap, flags);
    mode = ModeArg(flags, ap);
    va_end(ap);
    return Open("open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    mode_t mode;
    OpenAtFn real;
    va_start(ap, flags);
    mode = ModeArg(flags, ap);
    va_end(ap);
    if (Hidden(path)) {
        errno = ENOENT;
        return -1;
    }
    real = (OpenAtFn)dlsym(RTLD_NEXT, "openat");
    return real(dir, path, flags, mode);
}
