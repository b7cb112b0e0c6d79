/* Launches a program and reports how long it took until its first top-level
   window was mapped, and its peak memory then:
     bench_launch SETTLE_MS PROGRAM [ARGS...]
   prints "<milliseconds> <peak RSS kB>" and kills the program. */
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long peak_rss_kb(pid_t pid) {
  char path[64], line[256];
  long kb = -1;
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  while (fgets(line, sizeof line, f))
    if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, NULL, 10);
  fclose(f);
  return kb;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_launch SETTLE_MS PROGRAM [ARGS...]\n");
    return 2;
  }
  const int settle_ms = atoi(argv[1]);
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "bench_launch: no display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const double start = now_ms();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  double shown = -1;
  while (shown < 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify && !event.xmap.override_redirect) shown = now_ms() - start;
  }
  usleep((useconds_t)settle_ms * 1000);
  const long rss = peak_rss_kb(pid);
  kill(pid, SIGTERM);
  waitpid(pid, NULL, 0);
  printf("%.1f %ld\n", shown, rss);
  XCloseDisplay(display);
  return 0;
}
