// Headless stand-ins for the front end's interfaces.
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

class TestFrontend : public Frontend, public StatusBar {
 public:
  std::unique_ptr<ProgressSink> CreateProgress() override {
    ++m_record.ProgressCreated;
    return std::make_unique<TestProgress>(m_record, OnPump);
  }
  StatusBar& Status() override { return *this; }
  void SetPanelText(StatusPanel panel, std::string_view text) override {
    const int index = static_cast<int>(panel);
    m_record.Panels[index] = std::string(text);
    m_record.PanelWrites.emplace_back(index, std::string(text));
  }
  Record& Recorded() { return m_record; }

  PumpHandler OnPump;

 private:
  Record m_record;
};

}  // namespace quillet::test
