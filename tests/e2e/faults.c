/* Faults of a file system that the tests cannot make with a real one, put in front of the C
 * library with LD_PRELOAD (support.py compiles this file). Each is asked for by a variable:
 *
 *   ZEPA_FAULT_READ_EIO=N     standard input gives its first N bytes, then every read fails
 *                             with EIO (a disk or a network file system that broke)
 *   ZEPA_FAULT_MEMO_WRITE=MS  each write to the memo file takes MS milliseconds longer (a
 *                             slow file system), before its bytes land
 *   ZEPA_FAULT_MEMO_CLOSE=1   each close of the memo file closes it, then reports EIO (a
 *                             network file system that failed to write out at the close)
 *
 * The memo file is any descriptor whose path ends in "/mc-zepa4-07.txt". */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long setting(const char* name) {
  const char* value = getenv(name);
  return value != NULL ? atol(value) : -1;
}

static int is_memo(int fd) {
  char link[64];
  char path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  const char* name = "/mc-zepa4-07.txt";
  const size_t length = strlen(name);
  return (size_t)n >= length && strcmp(path + n - length, name) == 0;
}

ssize_t read(int fd, void* buffer, size_t size) {
  static ssize_t (*real)(int, void*, size_t);
  static long given;
  if (real == NULL) real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const long limit = fd == 0 ? setting("ZEPA_FAULT_READ_EIO") : -1;
  if (limit < 0) return real(fd, buffer, size);
  if (given >= limit) {
    errno = EIO;
    return -1;
  }
  if ((long)size > limit - given) size = (size_t)(limit - given);
  const ssize_t n = real(fd, buffer, size);
  if (n > 0) given += n;
  return n;
}

ssize_t write(int fd, const void* bytes, size_t size) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  const long delay_ms = fd > 2 ? setting("ZEPA_FAULT_MEMO_WRITE") : -1;
  if (delay_ms > 0 && is_memo(fd)) {
    const struct timespec pause = {delay_ms / 1000, delay_ms % 1000 * 1000000L};
    nanosleep(&pause, NULL);
  }
  return real(fd, bytes, size);
}

int close(int fd) {
  static int (*real)(int);
  if (real == NULL) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  const int failing = fd > 2 && setting("ZEPA_FAULT_MEMO_CLOSE") > 0 && is_memo(fd);
  const int result = real(fd);
  if (failing && result == 0) {
    errno = EIO;
    return -1;
  }
  return result;
}
