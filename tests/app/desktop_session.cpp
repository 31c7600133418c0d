#include "desktop_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace apptest {

namespace {

std::string RegexOf(const std::string& text) {
  std::string pattern = "^";
  for (char c : text) {
    if (std::strchr(".[]()*+?{}|^$\\", c) != nullptr) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

std::string NameOf(Display* display, Window window) {
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    name.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return name;
}

bool BringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags |= IFF_UP | IFF_RUNNING;
  up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  return up;
}

Display* OpenDisplay() {
  // An X server that resets after its last client refuses connections for a moment.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

// Single-quoted for the shell.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Runs xdotool with arguments; a hung call is ended rather than waited for.
bool Xdotool(const std::string& arguments) {
  return std::system(("timeout 20 xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

bool Focus(unsigned long window) {
  // Without a window manager the focus is set directly; give the toolkit a moment to see it.
  const bool focused = Xdotool("windowfocus " + std::to_string(window));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return focused;
}

}  // namespace

bool HaveXdotool() {
  return std::system("xdotool version >/dev/null 2>&1") == 0;
}

bool ClickAt(unsigned long window, int x, int y) {
  return Xdotool("mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " +
                 std::to_string(y) + " click 1");
}

bool TypeInto(unsigned long window, const std::string& text) {
  return Focus(window) && Xdotool("type --delay 20 -- " + Quoted(text));
}

bool PressKey(unsigned long window, const std::string& key) {
  return Focus(window) && Xdotool("key " + Quoted(key));
}

bool WaitUntilGone(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (FindWindow(title, std::chrono::milliseconds(0)) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

void Isolate(bool* privateNetwork, bool* privateMounts) {
  *privateNetwork = unshare(CLONE_NEWNET) == 0 && BringLoopbackUp();
  *privateMounts = unshare(CLONE_NEWNS) == 0 &&
                   mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

pid_t Launch(const std::string& program, const std::string& cwd, const std::string& logFile) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, 1);
      dup2(log, 2);
    }
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    }
    if (done < 0 || std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  if (waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

unsigned long FindWindow(const std::string& title, std::chrono::milliseconds timeout,
                         unsigned long except) {
  const std::string command = "xdotool search --onlyvisible --name '" + RegexOf(title) + "' 2>/dev/null";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (FILE* pipe = popen(command.c_str(), "r")) {
      unsigned long id = 0;
      unsigned long found = 0;
      while (std::fscanf(pipe, "%lu", &id) == 1) {
        if (id != 0 && id != except && found == 0) found = id;
      }
      pclose(pipe);
      if (found != 0) return found;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return 0;
}

bool CloseWindow(unsigned long window) {
  Display* display = OpenDisplay();
  if (display == nullptr) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
  XFlush(display);
  XCloseDisplay(display);
  return sent;
}

MapWatcher::MapWatcher() {
  Display* display = OpenDisplay();
  if (display == nullptr) return;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XFlush(display);
  display_ = display;
}

MapWatcher::~MapWatcher() {
  if (display_ != nullptr) XCloseDisplay(static_cast<Display*>(display_));
}

unsigned long MapWatcher::WaitForMapped(const std::string& title, std::chrono::milliseconds timeout) {
  auto* display = static_cast<Display*>(display_);
  if (display == nullptr) return 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && NameOf(display, event.xmap.window) == title) {
        return event.xmap.window;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left.count()));
  }
}

}  // namespace apptest
