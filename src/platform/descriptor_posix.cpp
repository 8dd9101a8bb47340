#include "platform/descriptor_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace zepa {

namespace {

// A would-block answer means "not yet": wait until the descriptor is ready. An error or
// hang-up condition comes back from the next read or write, which reports it.
bool again(int fd, short events) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  struct pollfd ready = {fd, events, 0};
  while (poll(&ready, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

long read_waiting(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(fd, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    const int failure = errno;
    if (!again(fd, POLLIN)) {
      errno = failure;
      return -1;
    }
  }
}

long write_waiting(int fd, const void* bytes, std::size_t size) {
  for (;;) {
    const ssize_t n = write(fd, bytes, size);
    if (n >= 0) return static_cast<long>(n);
    const int failure = errno;
    if (!again(fd, POLLOUT)) {
      errno = failure;
      return -1;
    }
  }
}

bool write_all_waiting(int fd, const void* bytes, std::size_t size) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    const long n = write_waiting(fd, next, size);
    if (n <= 0) return false;
    next += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace zepa
