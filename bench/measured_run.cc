// One run of a program, measured from a small process: its wall time and
// the peak of its resident set. A child's peak (wait4's ru_maxrss) counts
// the process it was forked from, as it was at the fork, so a large parent
// such as Python would hide a small program's peak behind its own.
//
//   measured_run FIGURES PROGRAM [ARGUMENTS...]
//
// The program gets this process's standard streams; FIGURES gets one line,
// "milliseconds peak-KiB exit-status cpu-milliseconds" (the wall time, and
// the time the program took of the processors, user and system). Ends
// with 1 when the program could not be run.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc < 3) return 1;
  timespec start = {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[2], argv + 2);
    _exit(127);
  }
  if (child < 0) return 1;
  int status = 0;
  rusage usage = {};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 1;
  }
  timespec end = {};
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double milliseconds = (end.tv_sec - start.tv_sec) * 1e3 +
                              (end.tv_nsec - start.tv_nsec) / 1e6;
  std::FILE* figures = std::fopen(argv[1], "w");
  if (figures == nullptr) return 1;
  const double cpu =
      (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  std::fprintf(figures, "%.3f %ld %d %.3f\n", milliseconds, usage.ru_maxrss,
               WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
               cpu);
  return std::fclose(figures) == 0 ? 0 : 1;
}
