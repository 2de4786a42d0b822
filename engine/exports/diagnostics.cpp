// Our own exports for tests and tools: live counts, the engine's copies of settings, the
// document body limit, and the addresses this engine did not hand to the operating system.
#include <climits>

#include "cef_engine.h"
#include "net/loader.h"
#include "objects/live_counts.h"
#include "runtime/runtime.h"
#include "strings/text.h"

using cef_engine::LiveCounts;
using cef_engine::Runtime;

extern "C" {

int cef_engine_live_objects(void) { return LiveCounts::Objects(); }

cef_string_userfree_t cef_engine_live_object_report(void) {
  const std::string report = LiveCounts::Report();
  return cef_engine::NewUserfree(std::u16string(report.begin(), report.end()));
}

int cef_engine_live_strings(void) { return LiveCounts::Strings(); }

int cef_engine_initialize_calls(void) { return Runtime::Get().InitializeCalls(); }

cef_string_userfree_t cef_engine_copied_setting(const char* name) {
  if (!name) return nullptr;
  const auto text = Runtime::Get().CopiedString(name);
  if (!text) return nullptr;
  cef_string_userfree_t result = cef_string_userfree_utf16_alloc();
  cef_string_utf16_set(text->data(), text->size(), result, 1);
  return result;
}

int cef_engine_int_setting(const char* name) {
  if (!name) return INT_MIN;
  return Runtime::Get().CopiedNumber(name).value_or(INT_MIN);
}

void cef_engine_set_document_limit(size_t bytes) { cef_engine::net::SetDocumentBodyLimit(bytes); }

cef_string_userfree_t cef_engine_os_executions(void) {
  return cef_engine::NewUserfree(cef_engine::net::OsExecutionRequests());
}

}  // extern "C"
