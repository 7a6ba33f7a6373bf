#pragma once
// The window toolkit as the program sees it: one small window with a send line, a SET button and
// a message log, modal message boxes and the main thread's event loop. main() picks the backend
// (Qt Widgets); unit tests use FakeToolkit.

#include <functional>
#include <string>
#include <string_view>

namespace ravelin {

// The window in the program's own coordinates: pixels, origin at the lower-left corner, y growing
// upwards (of the screen for the window, of the client area for the controls).
struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

struct WindowLayout {
  static constexpr int kWidth = 200;  // client area
  static constexpr int kHeight = 179;
  static constexpr Rect kSendLine{12, 12, 120, 24};  // oSLE1
  static constexpr Rect kLog{12, 48, 168, 84};       // oMLE1
  static constexpr Rect kButton{144, 12, 36, 24};    // oBT1
  // The same rectangle with its origin at the top-left corner of an area `area_h` high.
  static constexpr Rect top_left(Rect r, int area_h) { return {r.x, area_h - r.y - r.h, r.w, r.h}; }
};

struct WindowSetup {
  long x = 1;  // lower-left corner of the window, from the lower-left corner of the screen
  long y = 1;
  std::string title;
};

struct WindowCallbacks {
  std::function<void()> on_set;    // the SET button was pressed (GUI thread)
  std::function<void()> on_close;  // the window's close button (GUI thread)
};

enum class LoopExit { escape, closed };

class Toolkit {
 public:
  virtual ~Toolkit();

  // --- GUI thread only ---
  // Builds and shows the window with its three controls. Called once.
  virtual void build_window(const WindowSetup& setup, WindowCallbacks callbacks) = 0;
  // A modal box with one OK button; returns when the operator has closed it. An empty title
  // gives the program's name.
  virtual void message_box(std::string_view text, std::string_view title) = 0;
  // Runs the event loop until Escape is pressed in the window (the key is not handed on) or a
  // close request has run on_close and on_close returned.
  virtual LoopExit run_loop() = 0;

  // --- any thread; never waits for the GUI thread ---
  // Replaces the log control's content with code page 850 bytes. From other threads the update
  // is posted; the newest text wins.
  virtual void set_log(std::string oem_text) = 0;
  // The send line's current text in Windows-1252, not trimmed.
  virtual std::string send_line() = 0;
  virtual void set_button_enabled(bool enabled) = 0;
};

}  // namespace ravelin
