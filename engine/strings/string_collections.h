// Engine string lists, maps and multimaps. Handles given to the program are the
// addresses of collections kept in per-kind tables, so a stale or foreign handle is
// refused instead of followed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cef/cef_types.h"

namespace cef_engine {

// The items of a live string list, or nothing for an unknown handle.
std::optional<std::vector<std::u16string>> CopyStringList(cef_string_list_t list);

}  // namespace cef_engine
