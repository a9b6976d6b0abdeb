/* Runs a command and prints, on standard error, the peak resident memory it used (the largest
 * resident set of the process, in KiB, as the kernel counted it) and its exit code:
 *   peak_rss COMMAND [ARG...]          -> "peak_rss_kib=N exit=E"
 *   peak_rss --read FILE               -> reads FILE whole into memory once: the reference cost of
 *                                         holding a file of that size
 * Used by update_memory.sh; nothing is timed. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static int read_whole(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f) return 1;
    if (fseek(f, 0, SEEK_END) != 0) return 1;
    long size = ftell(f);
    if (size < 0 || fseek(f, 0, SEEK_SET) != 0) return 1;
    unsigned char* bytes = malloc(size > 0 ? (size_t)size : 1);
    if (!bytes) return 1;
    size_t got = fread(bytes, 1, (size_t)size, f);
    fclose(f);
    unsigned sum = 0;
    for (size_t i = 0; i < got; i += 4096) sum += bytes[i];  /* keep the read from being dropped */
    free(bytes);
    return got == (size_t)size && sum != 0xFFFFFFFFu ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: peak_rss COMMAND [ARG...] | peak_rss --read FILE\n");
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        if (strcmp(argv[1], "--read") == 0) _exit(argc > 2 ? read_whole(argv[2]) : 2);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) return 2;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    fprintf(stderr, "peak_rss_kib=%ld exit=%d\n", usage.ru_maxrss, code);
    return code;
}
