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

#include "preload_log.h"

static void note(const char* what)
{
    preload_log_line("SYNC_COUNT_LOG", what, open);
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
