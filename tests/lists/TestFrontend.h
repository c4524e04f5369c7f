// Headless stand-ins for the three interfaces, and real temporary folder trees.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lists/Frontend.h"

namespace quillet::test {

// Everything the lists told their front end, in order.
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
  void SetPanelText(int panel, std::string_view text) override {
    m_record.Panels[panel] = std::string(text);
    m_record.PanelWrites.emplace_back(panel, std::string(text));
  }
  bool AskYesNo(std::string_view text, std::string_view caption) override {
    m_record.Questions.emplace_back(std::string(text), std::string(caption));
    if (OnQuestion) OnQuestion();
    return Answer;
  }
  void DeleteReversibly(const std::vector<std::string>& paths) override {
    m_record.Deletions.push_back(paths);
  }

  Record& Recorded() { return m_record; }

  PumpHandler OnPump;
  std::function<void()> OnQuestion;
  bool Answer = true;

 private:
  Record m_record;
};

// A temporary folder removed with everything below it.
class TempTree {
 public:
  TempTree() : m_root(std::filesystem::temp_directory_path() / UniqueName()) {
    std::filesystem::create_directories(m_root);
  }
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  std::string Path(std::string_view relative = {}) const {
    return relative.empty() ? m_root.string() : (m_root / relative).string();
  }
  std::string Folder(std::string_view relative) const {
    std::filesystem::create_directories(m_root / relative);
    return Path(relative);
  }
  std::string File(std::string_view relative, std::size_t size) const {
    const auto path = m_root / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    return path.string();
  }

 private:
  static std::string UniqueName() {
    static int counter = 0;
    return "quillet-lists-" + std::to_string(std::random_device{}()) + "-" +
           std::to_string(counter++);
  }
  std::filesystem::path m_root;
};

}  // namespace quillet::test
