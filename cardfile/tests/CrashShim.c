// SPDX-License-Identifier: GPL-3.0-or-later
/* Preloaded into a card-file command by the crash tests: counts the file operations that change
 * something (opening for writing, write, fsync, rename, unlink, truncate) and kills the process
 * with SIGKILL just before the one numbered VELKARD_CRASH_AT (counted from 1). With
 * VELKARD_CRASH_COUNT set to a path, a process that ends normally writes its count there, so a test
 * knows how many crash points a command has. Writes to standard output and error are not counted.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long operations;

static void step(void) {
    static long crashAt = -1;
    if (crashAt < 0) {
        const char* text = getenv("VELKARD_CRASH_AT");
        crashAt = text ? atol(text) : 0;
    }
    ++operations;
    if (crashAt > 0 && operations == crashAt)
        kill(getpid(), SIGKILL);
}

static void stepForOpen(int flags) {
    if (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))
        step();
}

__attribute__((destructor)) static void reportCount(void) {
    const char* path = getenv("VELKARD_CRASH_COUNT");
    if (!path)
        return;
    int fd =
        (int)syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char text[32];
    int n = snprintf(text, sizeof text, "%ld\n", operations);
    syscall(SYS_write, fd, text, (size_t)n);
    syscall(SYS_close, fd);
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static mode_t modeArg(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    stepForOpen(flags);
    return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    stepForOpen(flags);
    return NEXT(open64)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    stepForOpen(flags);
    return NEXT(openat)(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    stepForOpen(flags);
    return NEXT(openat64)(dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    step();
    return NEXT(creat)(path, mode);
}

int mkstemp(char* pattern) {
    step();
    return NEXT(mkstemp)(pattern);
}

int mkostemp(char* pattern, int flags) {
    step();
    return NEXT(mkostemp)(pattern, flags);
}

int mkstemps(char* pattern, int suffix) {
    step();
    return NEXT(mkstemps)(pattern, suffix);
}

int mkostemps(char* pattern, int suffix, int flags) {
    step();
    return NEXT(mkostemps)(pattern, suffix, flags);
}

ssize_t write(int fd, const void* data, size_t size) {
    if (fd > 2)
        step();
    return NEXT(write)(fd, data, size);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    if (fd > 2)
        step();
    return NEXT(writev)(fd, iov, count);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    step();
    return NEXT(pwrite)(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    step();
    return NEXT(pwrite64)(fd, data, size, offset);
}

int fsync(int fd) {
    step();
    return NEXT(fsync)(fd);
}

int fdatasync(int fd) {
    step();
    return NEXT(fdatasync)(fd);
}

int rename(const char* from, const char* to) {
    step();
    return NEXT(rename)(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    step();
    return NEXT(renameat)(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    step();
    return NEXT(renameat2)(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    step();
    return NEXT(unlink)(path);
}

int unlinkat(int dir, const char* path, int flags) {
    step();
    return NEXT(unlinkat)(dir, path, flags);
}

int remove(const char* path) {
    step();
    return NEXT(remove)(path);
}

int truncate(const char* path, off_t length) {
    step();
    return NEXT(truncate)(path, length);
}

int ftruncate(int fd, off_t length) {
    step();
    return NEXT(ftruncate)(fd, length);
}
