/* For the counters preloaded into the update tool: appends one line to the log file named by an
 * environment variable, as a whole line under O_APPEND, so several processes can share the log.
 * `open_file` is the real open, which a counter of opens must use instead of its own. */
#pragma once
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

typedef int (*preload_open_fn)(const char*, int, ...);

static void preload_log_line(const char* variable, const char* text, preload_open_fn open_file)
{
    const char* log = getenv(variable);
    if (!log || !text) return;
    int fd = open_file(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[4200];
    int n = snprintf(line, sizeof line, "%s\n", text);
    if (n > 0 && (size_t)n < sizeof line) {
        ssize_t w = write(fd, line, (size_t)n);
        (void)w;
    }
    close(fd);
}
