#pragma once
// Running the real program on a real X display (Xvfb) from a test or a benchmark.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace apptest {

// Moves the process into network and mount namespaces of its own, with the loopback device up
// and mounts kept private, as far as the system allows. Call while the process has one thread.
void Isolate(bool* privateNetwork, bool* privateMounts);

// Starts program with no arguments in folder cwd; its output goes to logFile.
pid_t Launch(const std::string& program, const std::string& cwd, const std::string& logFile);

// The exit code (128 + signal for a killed process), or nothing when it has not ended in time.
std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds timeout);

// Kills the process if it still runs and reaps it.
void Stop(pid_t pid);

// The id of a visible window whose whole name is title, found with xdotool search --name,
// other than except; 0 when none appeared in time.
unsigned long FindWindow(const std::string& title, std::chrono::milliseconds timeout,
                         unsigned long except = 0);

// Asks the window to close as a window manager's close button does (WM_DELETE_WINDOW).
bool CloseWindow(unsigned long window);

// True when xdotool can be run.
bool HaveXdotool();

// A left click at x, y inside the window, through the X test extension as a real mouse gives it.
bool ClickAt(unsigned long window, int x, int y);

// Gives the window the keyboard focus, then types text (ASCII) or presses key ("Return")
// through the X test extension.
bool TypeInto(unsigned long window, const std::string& text);
bool PressKey(unsigned long window, const std::string& key);

// Waits until no visible window named title is left; false at the time-out.
bool WaitUntilGone(const std::string& title, std::chrono::milliseconds timeout);

// Watches the display for a window being mapped; make it before starting the program.
class MapWatcher {
 public:
  MapWatcher();
  ~MapWatcher();
  MapWatcher(const MapWatcher&) = delete;
  MapWatcher& operator=(const MapWatcher&) = delete;
  bool Ready() const { return display_ != nullptr; }
  // Waits until a top-level window named title is mapped; its id, or 0 at the time-out.
  unsigned long WaitForMapped(const std::string& title, std::chrono::milliseconds timeout);

 private:
  void* display_ = nullptr;
};

}  // namespace apptest
