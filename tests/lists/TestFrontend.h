// Headless stand-ins for the three interfaces.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lists/Frontend.h"

namespace quillet::test {

struct Record {
  std::map<int, std::string> Panels;
  std::vector<std::pair<int, std::string>> PanelWrites;
  int ProgressCreated = 0;
  int ProgressOpen = 0;  // shown and not yet closed
  int Updates = 0;       // over every dialog
  std::vector<std::string> SubTexts;
  std::vector<std::pair<bool, bool>> RepaintPump;
  std::vector<std::pair<std::string, std::string>> Questions;
  std::vector<std::vector<std::string>> Deletions;
};

// OnPump runs inside every pumping update, as a message processed there, with the update's
// number (1-based, over all dialogs); it may press Cancel or run other commands.
class TestProgress;
using PumpHandler = std::function<void(TestProgress&, int)>;

class TestProgress : public ProgressSink {
 public:
  TestProgress(Record& record, PumpHandler& onPump) : m_record(record), m_onPump(onPump) {}
  void Show() override {
    m_cancelled = false;
    ++m_record.ProgressOpen;
  }
  bool UpdateProgress(std::string_view, std::string_view subText, bool repaint,
                      bool pump) override {
    m_record.SubTexts.emplace_back(subText);
    m_record.RepaintPump.emplace_back(repaint, pump);
    const int number = ++m_record.Updates;
    const bool result = !m_cancelled;
    if (pump && m_onPump) m_onPump(*this, number);
    return result;
  }
  void Close() override { --m_record.ProgressOpen; }
  void Cancel() { m_cancelled = true; }

 private:
  Record& m_record;
  PumpHandler& m_onPump;
  bool m_cancelled = false;
};

class TestFrontend : public Frontend, public StatusBar, public Shell {
 public:
  std::unique_ptr<ProgressSink> CreateProgress() override {
    ++m_record.ProgressCreated;
    return std::make_unique<TestProgress>(m_record, OnPump);
  }
  StatusBar& Status() override { return *this; }
  Shell& ShellServices() override { return *this; }
  void SetPanelText(StatusPanel panel, std::string_view text) override {
    const int index = static_cast<int>(panel);
    m_record.Panels[index] = std::string(text);
    m_record.PanelWrites.emplace_back(index, std::string(text));
  }
  bool AskYesNo(std::string_view text, std::string_view caption) override {
    m_record.Questions.emplace_back(std::string(text), std::string(caption));
    if (OnQuestion) OnQuestion();
    return Answer;
  }
  // Removes each path from the disk (a link itself, never what it points to) as a shell would,
  // except those in Kept: refused, failed, or declined in the shell's own confirmation.
  void DeleteReversibly(const std::vector<std::string>& paths) override {
    m_record.Deletions.push_back(paths);
    for (const auto& path : paths) {
      std::error_code ignored;
      if (!Kept.contains(path)) std::filesystem::remove_all(path, ignored);
    }
  }

  Record& Recorded() { return m_record; }

  PumpHandler OnPump;
  std::function<void()> OnQuestion;
  bool Answer = true;
  std::set<std::string> Kept;

 private:
  Record m_record;
};

}  // namespace quillet::test
