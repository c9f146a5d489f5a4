// Preloaded into a child of the kill test. Counts the calls by which a program
// changes files (writes to regular files, syncs, renames, links, unlinks) and
// kills the process with SIGKILL just before the call numbered QUOR_KILL_AT.
// QUOR_KILL_AT=0 only counts. The file QUOR_KILL_REPORT tells how the process ended.
// Counting starts at once with QUOR_KILL_ARMED set, else when the program calls
// quor_kill_arm() (found with dlsym), so that start-up is not counted.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long killAt = -1; // -1: not under the kill test
static long counted;
static int armed;
static pid_t counter; // children between fork and exec do not count
static char reportPath[4096];

__attribute__((constructor)) static void setUp(void)
{
    const char *at = getenv("QUOR_KILL_AT");
    if (!at) {
        return;
    }
    killAt = atol(at);
    counter = getpid();
    armed = getenv("QUOR_KILL_ARMED") != NULL;
    const char *report = getenv("QUOR_KILL_REPORT");
    if (report) {
        snprintf(reportPath, sizeof reportPath, "%s", report);
    }
    // The programs this one runs (sudo, syslog-ng, logrotate) are not counted.
    unsetenv("LD_PRELOAD");
    unsetenv("QUOR_KILL_AT");
    unsetenv("QUOR_KILL_ARMED");
    unsetenv("QUOR_KILL_REPORT");
}

// "done N" after N counted calls, or "killed N"; the test tells our kill from a crash.
static void report(const char *how)
{
    if (!reportPath[0]) {
        return;
    }
    FILE *file = fopen(reportPath, "w");
    if (file) {
        fprintf(file, "%s %ld\n", how, counted);
        fclose(file);
    }
}

__attribute__((destructor)) static void reportDone(void)
{
    if (killAt >= 0 && getpid() == counter) {
        report("done");
    }
}

void quor_kill_arm(void)
{
    armed = 1;
}

static void point(void)
{
    if (killAt < 0 || !armed || getpid() != counter) {
        return;
    }
    ++counted;
    if (counted == killAt) {
        killAt = -1; // the report's own writes are not counted
        report("killed");
        raise(SIGKILL);
    }
}

static int isRegular(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

#define NEXT(name) static __typeof__(name) *next; if (!next) next = (__typeof__(name) *)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void *buf, size_t count)
{
    NEXT(write);
    if (isRegular(fd)) {
        point();
    }
    return next(fd, buf, count);
}

ssize_t pwrite(int fd, const void *buf, size_t count, off_t offset)
{
    NEXT(pwrite);
    if (isRegular(fd)) {
        point();
    }
    return next(fd, buf, count, offset);
}

int fsync(int fd)
{
    NEXT(fsync);
    point();
    return next(fd);
}

int fdatasync(int fd)
{
    NEXT(fdatasync);
    point();
    return next(fd);
}

int rename(const char *from, const char *to)
{
    NEXT(rename);
    point();
    return next(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    NEXT(renameat);
    point();
    return next(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    NEXT(renameat2);
    point();
    return next(fromDir, from, toDir, to, flags);
}

int link(const char *from, const char *to)
{
    NEXT(link);
    point();
    return next(from, to);
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    NEXT(linkat);
    point();
    return next(fromDir, from, toDir, to, flags);
}

int unlink(const char *path)
{
    NEXT(unlink);
    point();
    return next(path);
}

int unlinkat(int dir, const char *path, int flags)
{
    NEXT(unlinkat);
    point();
    return next(dir, path, flags);
}

int ftruncate(int fd, off_t length)
{
    NEXT(ftruncate);
    point();
    return next(fd, length);
}
