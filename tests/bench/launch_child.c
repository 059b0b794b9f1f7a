/* The program bench_launch starts: it reads CLOCK_MONOTONIC first thing in main() and writes it,
 * in nanoseconds, to the file descriptor named by its argument. With a second argument, a number
 * of milliseconds, it first sleeps that long, so the clock is read just before it exits. Linked statically, so that main()
 * follows exec with no dynamic loading in between. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc > 2)
        usleep((useconds_t)atoi(argv[2]) * 1000);
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (argc < 2)
        return 2;
    char line[32];
    const int n = snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    return write(atoi(argv[1]), line, (size_t)n) == n ? 0 : 1;
}
