// A row model over a temporary tree, with the helpers that the model's tests and the command
// layer's tests share.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "../scan/TempTree.h"
#include "TestFrontend.h"
#include "lists/Lists.h"

namespace quillet::test {

using Texts = std::vector<std::string>;

inline Texts Column(const ListsModel& model, ListKind list, int column) {
  Texts texts;
  for (std::size_t i = 0; i < model.RowCount(list); ++i)
    texts.push_back(model.CellText(list, i, column));
  return texts;
}

// The platform's root as added, and the location its row shows: 'C:\' becomes 'C:'.
inline const std::string kRoot = kPathSeparator == '/' ? "/" : "C:\\";
inline const std::string kRootLocation = kPathSeparator == '/' ? "/" : "C:";

class ModelFixture : public ::testing::Test {
 protected:
  TestFrontend m_frontend;
  ListsModel m_model{m_frontend};
  testing::TempTree m_tree;
  Record& m_record = m_frontend.Recorded();

  void SelectAllResults() { m_model.SelectAll(ListKind::Result, true); }
  void AddFolders(std::initializer_list<const char*> names) {
    for (const char* name : names)
      m_model.AddResultList(m_tree.Folder(name));
  }
  Texts Names() const { return Column(m_model, ListKind::Result, 0); }
  std::size_t IndexOf(std::string_view caption) const {
    for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i) {
      if (m_model.ResultRowAt(i).Caption == caption) return i;
    }
    ADD_FAILURE() << caption;
    return 0;
  }
};

}  // namespace quillet::test
