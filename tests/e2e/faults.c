/* Faults of a file system that the tests cannot make with a real one, put in front of the C
 * library with LD_PRELOAD (support.py compiles this file). Each is asked for by a variable:
 *
 *   ZEPA_FAULT_READ_EIO=N     standard input gives its first N bytes, then every read fails
 *                             with EIO (a disk or a network file system that broke)
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

static long setting(const char *name) {
  const char *value = getenv(name);
  return value != NULL ? atol(value) : -1;
}

ssize_t read(int fd, void *buffer, size_t size) {
  static ssize_t (*real)(int, void *, size_t);
  static long given;
  if (real == NULL) real = (ssize_t(*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
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
