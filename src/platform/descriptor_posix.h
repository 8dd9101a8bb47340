#pragma once

// Reads and writes on POSIX descriptors that neither end early on a signal (EINTR) nor on a
// descriptor that another program left non-blocking (EAGAIN): they wait in poll() until the
// descriptor is ready and try again. Async-signal-safe, so the signal handlers use them too.

#include <cstddef>

namespace zepa {

// read(): the count read, 0 at the end of the input, -1 on a failure (errno tells which).
long read_waiting(int fd, void* buffer, std::size_t size);

// write(): the count written, which may be short (a full disk, a size limit), or -1 on a
// failure (errno tells which).
long write_waiting(int fd, const void* bytes, std::size_t size);

// Writes everything, carrying on after short writes: false at the first failure.
bool write_all_waiting(int fd, const void* bytes, std::size_t size);

}  // namespace zepa
