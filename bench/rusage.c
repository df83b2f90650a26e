/* Runs a command and prints, on the file given, what it and every process it started cost:
 *   wall=<seconds> cpu=<user + system seconds> user=<seconds> sys=<seconds> maxrss_kb=<largest single process>
 *   left=<processes still running when it stopped waiting>
 * The processes a Wine program starts leave their parent (Wine detaches them); this program takes
 * them in as their subreaper, so their time is counted too. It waits for them up to 5 seconds
 * after the command itself has ended (a service the command happened to start lives on and is
 * not counted). It returns the command's exit code.
 *
 *   rusage <output file> <command> [arguments...]
 */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: rusage <output file> <command> [arguments...]\n");
    return 2;
  }
  if (prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) perror("rusage: subreaper");
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t child = fork();
  if (child < 0) {
    perror("rusage: fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    perror("rusage: exec");
    _exit(127);
  }
  int code = 0, status = 0, left = 0;
  for (;;) {
    pid_t done = waitpid(-1, &status, 0);
    if (done < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (done == child) {
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      clock_gettime(CLOCK_MONOTONIC, &t1);
      break;
    }
  }
  /* What the command started and left: waited for a while, then left alone. */
  for (int tries = 0; tries < 500; ++tries) {
    pid_t done = waitpid(-1, &status, WNOHANG);
    if (done < 0 && errno == ECHILD) break;
    if (done > 0) {
      clock_gettime(CLOCK_MONOTONIC, &t1);
      continue;
    }
    if (tries == 499) left = 1;
    usleep(10000);
  }
  struct rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  double user = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6;
  double sys = ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  double wall = (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
  FILE* out = fopen(argv[1], "w");
  if (!out) {
    perror("rusage: output");
    return 2;
  }
  fprintf(out, "wall=%.3f cpu=%.3f user=%.3f sys=%.3f maxrss_kb=%ld left=%d\n", wall, user + sys, user, sys,
          ru.ru_maxrss, left);
  fclose(out);
  return code;
}
