// Keys from the console for `play`: single keys without Enter and without
// echo while stdin is a console, and Ctrl-C as a request to stop. The
// terminal (POSIX termios) or console (Windows) is put back when the object
// goes away.
#pragma once

#include <memory>

namespace pocketmidi::cli {

class ConsoleKeys {
 public:
  ConsoleKeys();
  ~ConsoleKeys();
  ConsoleKeys(const ConsoleKeys&) = delete;
  ConsoleKeys& operator=(const ConsoleKeys&) = delete;

  // A key pressed within timeoutMs, or 0. Without a console it simply waits.
  char Read(int timeoutMs);
  // Ctrl-C was pressed since construction.
  bool Interrupted() const;

 private:
  struct State;  // the platform's saved console settings
  std::unique_ptr<State> state_;
};

// True when standard error is a terminal (the progress bar is drawn there).
bool StderrIsConsole();

}  // namespace pocketmidi::cli
