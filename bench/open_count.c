/* Preloaded into the update tool by update_traffic.sh: appends the path of every file the process
 * opens to the file named by OPEN_COUNT_LOG (one line per open, whole lines under O_APPEND), then
 * opens it as asked. Only the counting is added; the calls' results are the real ones. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "preload_log.h"

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);

static void note(const char* path)
{
    static open_fn real_open;
    if (!real_open) real_open = (open_fn)dlsym(RTLD_NEXT, "open");
    preload_log_line("OPEN_COUNT_LOG", path, real_open);
}

/* The mode argument exists only when the flags create a file. */
static mode_t mode_of(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
}

/* open and open64 differ only in the symbol they forward to. */
static int counted_open(open_fn* real, const char* symbol, const char* path, int flags, mode_t mode)
{
    if (!*real) *real = (open_fn)dlsym(RTLD_NEXT, symbol);
    note(path);
    return (*real)(path, flags, mode);
}

int open(const char* path, int flags, ...)
{
    static open_fn real;
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return counted_open(&real, "open", path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    static open_fn real;
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return counted_open(&real, "open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    static openat_fn real;
    if (!real) real = (openat_fn)dlsym(RTLD_NEXT, "openat");
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    note(path);
    return real(dir, path, flags, mode);
}

typedef FILE* (*fopen_fn)(const char*, const char*);

/* fopen and fopen64 likewise. */
static FILE* counted_fopen(fopen_fn* real, const char* symbol, const char* path, const char* how)
{
    if (!*real) *real = (fopen_fn)dlsym(RTLD_NEXT, symbol);
    note(path);
    return (*real)(path, how);
}

FILE* fopen(const char* path, const char* how)
{
    static fopen_fn real;
    return counted_fopen(&real, "fopen", path, how);
}

FILE* fopen64(const char* path, const char* how)
{
    static fopen_fn real;
    return counted_fopen(&real, "fopen64", path, how);
}
