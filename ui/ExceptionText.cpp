#include "ui/ExceptionText.h"

#include <new>

namespace quillet {

std::string ExceptionText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    // Its what() is the library's own wording, not a message for the user.
    return "Out of memory.";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown failure.";
  }
}

}  // namespace quillet
