/* Preloaded into Wine for the tests: a pseudo-terminal has no modem lines, so
 * the modem-line ioctls on pty slaves are answered as a cable with CTS, DSR and
 * CD up would answer them. Everything else goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
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
