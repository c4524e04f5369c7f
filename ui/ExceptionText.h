// What a failure that ended a handler says to the user, the same in every front end.
#pragma once

#include <exception>
#include <string>

namespace quillet {

// The message of failure (not null): "Out of memory." for std::bad_alloc and what derives from
// it, what() of any other std::exception (UTF-8), "Unknown failure." for anything else thrown.
std::string ExceptionText(const std::exception_ptr& failure);

}  // namespace quillet
