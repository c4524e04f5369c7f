// The result list's comparator, under every sort column and direction, is a strict weak ordering
// on any rows: irreflexive, antisymmetric, and transitive in both "before" and "equal". A sort
// with a comparator that is not one may order the same rows differently each time, or worse.
// The rows are made directly: the comparator reads nothing but the two rows and the sort state.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/StrictWeakOrder.h"
#include "lists/Lists.h"
#include "tests/lists/TestFrontend.h"

namespace {

std::int64_t Number(FuzzedDataProvider& input) {
  return input.ConsumeBool() ? input.ConsumeIntegralInRange<std::int64_t>(-2, 1100)
                             : input.ConsumeIntegral<std::int64_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quillet::fuzz::Shown;
  FuzzedDataProvider input(data, size);
  std::vector<quillet::ResultRow> rows(input.ConsumeIntegralInRange(0, 7));
  for (auto& row : rows) {
    row.Location = input.ConsumeRandomLengthString(16);
    row.Caption = input.ConsumeBool() ? quillet::ExtractLastName(row.Location)
                                      : input.ConsumeRandomLengthString(16);
    row.Measured = input.ConsumeBool();
    row.TotalSize = Number(input);
    row.FileCount = Number(input);
    row.FolderCount = Number(input);
  }
  const auto describe = [&](std::size_t i) {
    const auto& row = rows[i];
    std::string text = Shown(row.Caption) + " " + Shown(row.Location);
    if (!row.Measured) return text + " unmeasured";
    return text + " " + std::to_string(row.TotalSize) + " " + std::to_string(row.FileCount) + " " +
           std::to_string(row.FolderCount);
  };
  quillet::test::TestFrontend frontend;
  quillet::ListsModel model(frontend);
  for (int column = 0; column <= 5; ++column) {
    for (const bool descending : {false, true}) {
      model.SetResultSort(column, descending);
      quillet::fuzz::CheckStrictWeakOrder(
          "result", column, descending, rows.size(),
          [&](std::size_t a, std::size_t b) { return model.lvwResultCompare(rows[a], rows[b]); },
          describe);
    }
  }
  return 0;
}
