#include "cli/console_keys.h"

#include <csignal>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace pocketmidi::cli {
namespace {

// A signal handler can only reach a flag of static storage.
volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

#ifdef _WIN32

// The console hands out single keys without echo through _kbhit and _getch
// already; Ctrl-C arrives as SIGINT from the C runtime.
struct ConsoleKeys::State {
  bool console = false;
  void (*previousHandler)(int) = SIG_DFL;
};

ConsoleKeys::ConsoleKeys() : state_(std::make_unique<State>()) {
  gInterrupted = 0;
  state_->console = _isatty(0) != 0;
  state_->previousHandler = std::signal(SIGINT, OnInterrupt);
}

ConsoleKeys::~ConsoleKeys() { std::signal(SIGINT, state_->previousHandler); }

char ConsoleKeys::Read(int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    if (state_->console && _kbhit()) {
      const int key = _getch();
      // Arrows and function keys come as two codes: drop both.
      if (key == 0 || key == 0xE0) {
        _getch();
        return 0;
      }
      return static_cast<char>(key);
    }
    Sleep(10);
  }
  return 0;
}

bool StderrIsConsole() { return _isatty(2) != 0; }

#else

// Non-canonical mode without echo; Ctrl-C still raises SIGINT.
struct ConsoleKeys::State {
  termios saved{};
  bool raw = false;
  struct sigaction previous {};
};

ConsoleKeys::ConsoleKeys() : state_(std::make_unique<State>()) {
  gInterrupted = 0;
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &state_->saved) == 0) {
    termios raw = state_->saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    state_->raw = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &state_->previous);
}

ConsoleKeys::~ConsoleKeys() {
  if (state_->raw) tcsetattr(STDIN_FILENO, TCSANOW, &state_->saved);
  sigaction(SIGINT, &state_->previous, nullptr);
}

char ConsoleKeys::Read(int timeoutMs) {
  if (!state_->raw) {
    usleep(static_cast<useconds_t>(timeoutMs) * 1000);
    return 0;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, timeoutMs) <= 0 || (in.revents & POLLIN) == 0) return 0;
  char key = 0;
  return read(STDIN_FILENO, &key, 1) == 1 ? key : 0;
}

bool StderrIsConsole() { return isatty(STDERR_FILENO) != 0; }

#endif

bool ConsoleKeys::Interrupted() const { return gInterrupted != 0; }

}  // namespace pocketmidi::cli
