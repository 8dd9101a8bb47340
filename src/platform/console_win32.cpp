#include "platform/console_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cp1252.h"

namespace zepa {

namespace {

HANDLE output_handle() {
  static const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  return handle;
}

HANDLE input_handle() {
  static const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  return handle;
}

bool usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

SHORT short_of(int value) {
  return static_cast<SHORT>(value);
}

// The buffer's size as the last buffer-size event (or the set-up) gave it, and whether a change
// of it waits to be told to the console writer. Both live on the main thread.
COORD g_buffer_size{0, 0};
bool g_buffer_resized = false;

class ConsoleScreen final : public ScreenBuffer {
 public:
  bool read_info(ScreenInfo& info) override {
    CONSOLE_SCREEN_BUFFER_INFO csbi;
    if (!GetConsoleScreenBufferInfo(output_handle(), &csbi)) return false;
    info.width = csbi.dwSize.X;
    info.height = csbi.dwSize.Y;
    info.cursor_x = csbi.dwCursorPosition.X;
    info.cursor_y = csbi.dwCursorPosition.Y;
    info.attribute = csbi.wAttributes;
    info.window_top = csbi.srWindow.Top;
    info.window_bottom = csbi.srWindow.Bottom;
    return true;
  }

  // The cells are written in their UTF-16 form from the Windows-1252 table, so the program's
  // text shows as the letters it means whatever the console's output code page is; changing
  // the code page instead would outlive the process.
  bool put_cells(int x, int y, const unsigned char* bytes, int count,
                 std::uint16_t attribute) override {
    if (count <= 0) return true;
    cells_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      cells_[i].Char.UnicodeChar = static_cast<WCHAR>(cp1252_cell_char(bytes[i]));
      cells_[i].Attributes = attribute;
    }
    SMALL_RECT area{short_of(x), short_of(y), short_of(x + count - 1), short_of(y)};
    return WriteConsoleOutputW(output_handle(), cells_.data(), COORD{short_of(count), 1},
                               COORD{0, 0}, &area) != 0;
  }

  void scroll_up(int left, int top, int right, int bottom, int n,
                 std::uint16_t attribute) override {
    if (n > bottom - top) {
      for (int y = top; y <= bottom; ++y) blank_row(y, left, right, attribute);
      return;
    }
    const SMALL_RECT source{short_of(left), short_of(top + n), short_of(right), short_of(bottom)};
    CHAR_INFO fill;
    fill.Char.AsciiChar = ' ';
    fill.Attributes = attribute;
    ScrollConsoleScreenBufferA(output_handle(), &source, nullptr,
                               COORD{short_of(left), short_of(top)}, &fill);
  }

  void blank_row(int y, int left, int right, std::uint16_t attribute) override {
    const DWORD length = static_cast<DWORD>(right - left + 1);
    const COORD start{short_of(left), short_of(y)};
    DWORD done = 0;
    FillConsoleOutputCharacterA(output_handle(), ' ', length, start, &done);
    FillConsoleOutputAttribute(output_handle(), attribute, length, start, &done);
  }

  void set_cursor(int x, int y) override {
    SetConsoleCursorPosition(output_handle(), COORD{short_of(x), short_of(y)});
  }

  void set_window(int left, int top, int right, int bottom) override {
    const SMALL_RECT window{short_of(left), short_of(top), short_of(right), short_of(bottom)};
    SetConsoleWindowInfo(output_handle(), TRUE, &window);
  }

  bool cursor_visible() override {
    CONSOLE_CURSOR_INFO info;
    return GetConsoleCursorInfo(output_handle(), &info) && info.bVisible;
  }

  void set_cursor_visible(bool visible) override {
    CONSOLE_CURSOR_INFO info;
    if (!GetConsoleCursorInfo(output_handle(), &info)) return;
    info.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(output_handle(), &info);
  }

  // Line feeds written through the console, not a move of cells: a pseudo console (Windows
  // Terminal) passes what a line feed scrolls off to its terminal's scrollback, and repaints a
  // move of cells, which the terminal cannot keep. Without processed output a line feed would
  // be drawn as a character: the cells move instead.
  void feed_lines(int width, int height, int n, std::uint16_t attribute) override {
    DWORD mode = 0;
    DWORD done = 0;
    const std::wstring feeds(static_cast<std::size_t>(std::min(n, height)), L'\n');
    if (!GetConsoleMode(output_handle(), &mode) || (mode & ENABLE_PROCESSED_OUTPUT) == 0 ||
        !SetConsoleCursorPosition(output_handle(), COORD{0, short_of(height - 1)}) ||
        !WriteConsoleW(output_handle(), feeds.data(), static_cast<DWORD>(feeds.size()), &done,
                       nullptr)) {
      scroll_up(0, 0, width - 1, height - 1, n, attribute);
    }
  }

  void beep() override { Beep(1000, 250); }

  bool take_resize() override {
    const bool resized = g_buffer_resized;
    g_buffer_resized = false;
    return resized;
  }

  bool rewraps_on_resize() const override { return true; }

 private:
  std::vector<CHAR_INFO> cells_;
};

// The keyboard layer's action for a close; set before the handler is installed.
void (*g_on_close)() = nullptr;

// The input mode found at the set-up, and whether the program's own is in force.
DWORD g_found_mode = 0;
std::atomic<bool> g_mode_changed{false};

// Closing the window becomes the close key; Ctrl+C, Ctrl+Break and anything else are left to
// the default action, which ends the process at once. Log-off and shut-down are taken alike,
// but a console program that loads user32 (this one does, for the keyboard layout) is told of
// neither: Windows ends it as it ends the session.
BOOL WINAPI console_event_handler(DWORD type) {
  switch (type) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (g_on_close != nullptr) g_on_close();
      return TRUE;
    default:
      return FALSE;
  }
}

// Asked last, just before the default action ends the process (Ctrl+C, Ctrl+Break): the shell
// that reads the console next gets its mode back.
BOOL WINAPI restore_mode_handler(DWORD) {
  restore_console_input_mode();
  return FALSE;
}

void remove_event_handler() {
  SetConsoleCtrlHandler(console_event_handler, FALSE);
}

// An event that repeats the size already known (a console may send one when nothing changed)
// is no resize.
void note_buffer_size(COORD size) {
  if (size.X == g_buffer_size.X && size.Y == g_buffer_size.Y) return;
  g_buffer_size = size;
  g_buffer_resized = true;
}

class ConsoleKeys final : public KeySource {
 public:
  // Processed input lets the console handle Ctrl+C itself. Window input reports a new buffer
  // size (a width change, or any change in a pseudo console) among the keys. Virtual-terminal
  // input, which a shell may have left on, would turn the arrows into Esc [ D; it goes off.
  // The mode found is put back on every way out.
  void setup() override {
    DWORD mode = 0;
    if (!usable(input_handle()) || !GetConsoleMode(input_handle(), &mode)) return;
    g_found_mode = mode;
    const DWORD wanted =
        (mode | ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT) & ~ENABLE_VIRTUAL_TERMINAL_INPUT;
    if (wanted != mode && SetConsoleMode(input_handle(), wanted)) {
      g_mode_changed = true;
      SetConsoleCtrlHandler(restore_mode_handler, TRUE);
      std::atexit(restore_console_input_mode);
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(output_handle(), &info)) g_buffer_size = info.dwSize;
  }

  KeyFormat format() override {
    KeyFormat format;
    format.events = true;
    return format;
  }

  // Registered now, the removal runs before the runtime shutdown registered at start-up.
  void install_event_handler(void (*on_close)()) override {
    g_on_close = on_close;
    SetConsoleCtrlHandler(console_event_handler, TRUE);
    std::atexit(remove_event_handler);
  }

  // One key event at a time, its character in UTF-16: the console's code page (850 on a
  // Portuguese Windows) is not the program's. A new buffer size is noted for the screen; other
  // events (mouse, focus, menu) are passed over.
  long read_events(KeyEvent* events, std::size_t size) override {
    if (size == 0) return 0;
    for (;;) {
      INPUT_RECORD record;
      DWORD count = 0;
      if (!PeekConsoleInputW(input_handle(), &record, 1, &count)) return -1;
      if (count == 0) return 0;
      if (!ReadConsoleInputW(input_handle(), &record, 1, &count)) return -1;
      if (count == 0) continue;
      if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) {
        note_buffer_size(record.Event.WindowBufferSizeEvent.dwSize);
        continue;
      }
      if (record.EventType != KEY_EVENT) continue;
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      events[0] = KeyEvent{key.bKeyDown != FALSE,
                           key.wRepeatCount,
                           key.wVirtualKeyCode,
                           key.wVirtualScanCode,
                           static_cast<char16_t>(key.uChar.UnicodeChar),
                           key.dwControlKeyState};
      return 1;
    }
  }

  unsigned key_char(unsigned virtual_key) override {
    return MapVirtualKeyW(virtual_key, MAPVK_VK_TO_CHAR);
  }

  // The input handle is signalled while events are pending, so a key ends the wait at once.
  void wait(int timeout_ms) override {
    const DWORD ms = static_cast<DWORD>(timeout_ms < 0 ? 0 : timeout_ms);
    if (!usable(input_handle()) || WaitForSingleObject(input_handle(), ms) == WAIT_FAILED) {
      Sleep(ms);
    }
  }
};

}  // namespace

void restore_console_input_mode() {
  if (g_mode_changed.exchange(false)) SetConsoleMode(input_handle(), g_found_mode);
}

ScreenBuffer& console_screen() {
  static ConsoleScreen screen;
  return screen;
}

KeySource& console_keys() {
  static ConsoleKeys keys;
  return keys;
}

}  // namespace zepa
