/* Preloaded into the update tool by sync_cost.sh: counts the calls that flush files to the disk
 * (fsync, fdatasync, syncfs, sync), one line each in the file named by SYNC_COUNT_LOG, and with
 * SYNC_OFF=1 skips them (each then returns success), which gives the same build with syncs off. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void note(const char* what)
{
    const char* log = getenv("SYNC_COUNT_LOG");
    if (!log) return;
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[64];
    int n = snprintf(line, sizeof line, "%s\n", what);
    if (n > 0 && (size_t)n < sizeof line) {
        ssize_t w = write(fd, line, (size_t)n);
        (void)w;
    }
    close(fd);
}

static int off(void)
{
    const char* v = getenv("SYNC_OFF");
    return v && strcmp(v, "1") == 0;
}

int fsync(int fd)
{
    note("fsync");
    if (off()) return 0;
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(fd);
}

int fdatasync(int fd)
{
    note("fdatasync");
    if (off()) return 0;
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    return real(fd);
}

int syncfs(int fd)
{
    note("syncfs");
    if (off()) return 0;
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "syncfs");
    return real(fd);
}

void sync(void)
{
    note("sync");
    if (off()) return;
    void (*real)(void) = (void (*)(void))dlsym(RTLD_NEXT, "sync");
    real();
}
