#pragma once

#include <cstddef>
#include <string_view>

namespace zepa {

// Standard output when it is no console: bytes are gathered in a buffer and written when it
// fills, before every blocking read of standard input, before a command runs and at the end.
// The first failure is reported once on standard error, or, while standard output records
// the dialogue (Process::transcript), kept for the console to show; later bytes are dropped.
void stdout_write(const unsigned char* bytes, std::size_t n);
// The same with a line end (CR LF) after the bytes.
void stdout_write_line(const unsigned char* bytes, std::size_t n);
void stdout_flush();
bool stdout_failed();
// The warning of a failed standard output that the console is to show, once: empty when there
// is none or it was taken.
std::string_view take_stdout_warning();

// Writes `text` and a line end to standard error (a diagnostic); failures there have nowhere
// to go.
void stderr_write_line(std::string_view text);

// Sends what the screen buffer and standard output still hold: before the program blocks for
// a key, runs a command or ends.
void flush_all_output();

// The next byte of standard input (0..255), or -1 at its end or on a read failure. Reads
// through a buffer; standard output is flushed before a read that may block.
int stdin_next_byte();
// Whether standard input ended because it is a terminal that hung up: no reply will come.
bool stdin_hung_up();
// Whether standard input ended because a read failed (an I/O error, a directory): what was
// read before it may be cut short, so it is no reply either.
bool stdin_failed();

// The bytes of standard input already read and not yet taken, without reading more: the
// count, with `bytes` pointing at them. stdin_take(n) takes the first n of them.
std::size_t stdin_buffered(const unsigned char*& bytes);
void stdin_take(std::size_t n);

// Forgets buffered bytes and failures (start-up and tests).
void reset_std_streams();

}  // namespace zepa
