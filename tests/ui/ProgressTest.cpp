// The progress dialog's rules as every front end gets them, through a dialog that writes down what
// each of its hooks saw.
#include "ui/Progress.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lists/Lists.h"

namespace quillet {
namespace {

using Steps = std::vector<std::string>;

// OnPump runs inside Pump, as a message processed there would.
class RecordingProgress : public Progress {
 public:
  using Progress::Progress;
  Steps Seen;
  std::function<void()> OnPump;

 protected:
  void ShowDialog() override { Seen.push_back("show"); }
  void ShowTexts(std::string_view mainText, std::string_view subText) override {
    Seen.push_back("texts " + std::string(mainText) + " " + std::string(subText));
  }
  void ShowMark(std::string_view mark) override { Seen.push_back("mark " + std::string(mark)); }
  // What a toolkit that shows the texts only now would show.
  void Repaint() override { Seen.push_back("repaint " + SubText() + " " + Mark()); }
  void Pump() override {
    Seen.push_back("pump " + SubText() + " " + Mark());
    if (OnPump) OnPump();
  }
  void CloseDialog() override { Seen.push_back("close"); }
};

// The dialog opens with the layout's texts and "*". Every update flips the mark, whether it
// repaints or pumps or neither, so the first one after showing shows "+".
TEST(Progress, AnUpdateShowsTheTextsThenFlipsTheMarkThenRepaintsThenPumpsAsAsked) {
  RecordingProgress progress;
  EXPECT_EQ(progress.MainText(), kProgressMainText);
  EXPECT_EQ(progress.SubText(), "");
  EXPECT_EQ(progress.Mark(), "*");
  progress.Show();
  const struct {
    bool Repaint;
    bool Pump;
    Steps Expected;
  } updates[] = {
      {false, false, {"texts m s", "mark +"}},
      {true, false, {"texts m s", "mark *", "repaint s *"}},
      {false, true, {"texts m s", "mark +", "pump s +"}},
      {true, true, {"texts m s", "mark *", "repaint s *", "pump s *"}},
  };
  for (const auto& update : updates) {
    SCOPED_TRACE(testing::Message() << "repaint " << update.Repaint << ", pump " << update.Pump);
    progress.Seen.clear();
    EXPECT_TRUE(progress.UpdateProgress("m", "s", update.Repaint, update.Pump));
    EXPECT_EQ(progress.Seen, update.Expected);
    EXPECT_EQ(progress.MainText(), "m");
  }
  progress.Close();
  EXPECT_EQ(progress.Seen.back(), "close");
}

// The flag is read before the pump: a Cancel processed inside an update's pump is the next
// update's answer. Showing clears it; nothing but Cancel sets it.
TEST(Progress, CancelInAPumpStopsTheUpdateAfterAndShowingClearsIt) {
  RecordingProgress progress;
  progress.Show();
  int pumps = 0;
  progress.OnPump = [&] {
    if (++pumps == 2) progress.btnCancelClick();
  };
  EXPECT_TRUE(progress.UpdateProgress("m", "1", true, true));
  EXPECT_TRUE(progress.UpdateProgress("m", "2", true, true));  // processes the click
  EXPECT_TRUE(progress.Cancelled());
  EXPECT_FALSE(progress.UpdateProgress("m", "3", false, false));
  EXPECT_FALSE(progress.UpdateProgress("m", "4", true, true));

  progress.Seen.clear();
  progress.Show();
  EXPECT_EQ(progress.Seen, Steps{"show"});
  EXPECT_FALSE(progress.Cancelled());
  EXPECT_TRUE(progress.UpdateProgress("m", "5", false, false));
}

// Closing the main window cancels the dialogs of its registry that are alive, as their Cancel
// buttons would: a close processed inside an update's pump stops each loop at its next update.
TEST(ProgressRegistry, CancelAllCancelsTheLiveDialogsOfItsRegistryOnly) {
  ProgressRegistry registry;
  ProgressRegistry other;
  RecordingProgress running(&registry);
  RecordingProgress nested(&registry);  // of a command started inside the first one's loop
  RecordingProgress elsewhere(&other);
  { RecordingProgress gone(&registry); }  // destroyed: forgotten, never touched again
  for (RecordingProgress* progress : {&running, &nested, &elsewhere})
    progress->Show();
  running.OnPump = [&] { registry.CancelAll(); };
  EXPECT_TRUE(running.UpdateProgress("m", "s", true, true));
  EXPECT_FALSE(running.UpdateProgress("m", "s", true, true));
  EXPECT_FALSE(nested.UpdateProgress("m", "s", true, true));
  EXPECT_TRUE(elsewhere.UpdateProgress("m", "s", true, true));

  // A dialog that outlives its registry leaves it alone when it goes.
  auto shortLived = std::make_unique<ProgressRegistry>();
  auto late = std::make_unique<RecordingProgress>(shortLived.get());
  shortLived.reset();
  late.reset();
}

}  // namespace
}  // namespace quillet
