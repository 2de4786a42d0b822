#include "ceflib/wrappers/drag_data.h"

namespace ceflib {

bool TCefDragDataRef::GetFileNames(std::vector<ustring>& names) {
  CheckEngine();
  CefOwnedStringList list;
  const bool answer = Call<bool>(&cef_drag_data_t::get_file_names, list.Handle());
  list.ReadInto(names);
  return answer;
}

}  // namespace ceflib
