// The small interfaces through which the lists talk to the outside. A front end (the Qt
// program, the Windows program, quillet-report, a test) implements them.
#pragma once

#include <memory>
#include <string_view>

namespace quillet {

// The progress dialog of one long command. The command creates it, calls Show once, then
// UpdateProgress once per row, then Close, on every way out.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Shows the dialog (modeless) and clears its Cancelled flag.
  virtual void Show() = 0;
  // Writes the two texts, reads "not Cancelled" as the answer, flips the activity mark, repaints
  // when asked, then processes every pending message when asked. The flag is read before the
  // messages are processed, so a Cancel handled here changes the answer of the next call.
  // A file view calls it once per row with repaint and pump false on all but a few dozen rows a
  // second: such a call should stay cheap (keep the texts, show them at the next repaint).
  virtual bool UpdateProgress(std::string_view mainText, std::string_view subText, bool repaint,
                              bool pump) = 0;
  // Closes and destroys the dialog.
  virtual void Close() = 0;
};

// The five panels of the main window's status bar, left to right.
enum class StatusPanel { Rows, Bytes, Files, Folders, Run };
inline constexpr int kStatusPanelCount = 5;

// The status bar of the main window.
class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual void SetPanelText(StatusPanel panel, std::string_view text) = 0;
};

// Everything a command needs from its front end.
class Frontend {
 public:
  virtual ~Frontend() = default;
  // A new progress dialog for one command; each command gets its own.
  virtual std::unique_ptr<ProgressSink> CreateProgress() = 0;
  virtual StatusBar& Status() = 0;
};

}  // namespace quillet
