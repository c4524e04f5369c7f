#include "ui/ExceptionText.h"

#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <stdexcept>

namespace quillet {
namespace {

TEST(ExceptionText, SaysOutOfMemoryTheMessageOrUnknown) {
  const struct {
    const char* Name;
    void (*Throw)();
    const char* Text;
  } cases[] = {
      {"runtime_error", [] { throw std::runtime_error("フォルダ & disk"); }, "フォルダ & disk"},
      {"logic_error", [] { throw std::out_of_range("row 7"); }, "row 7"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, "Out of memory."},
      {"not an exception", [] { throw 42; }, "Unknown failure."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::exception_ptr failure;
    try {
      c.Throw();
    } catch (...) {
      failure = std::current_exception();
    }
    ASSERT_TRUE(failure);
    EXPECT_EQ(ExceptionText(failure), c.Text);
  }
}

}  // namespace
}  // namespace quillet
