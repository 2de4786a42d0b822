#include "ceflib/core/url_parts.h"

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {
namespace {

// The members of both records, in the same order.
constexpr ustring TCefUrlParts::*kProgramParts[] = {
    &TCefUrlParts::spec, &TCefUrlParts::scheme, &TCefUrlParts::username, &TCefUrlParts::password,
    &TCefUrlParts::host, &TCefUrlParts::port,   &TCefUrlParts::path,     &TCefUrlParts::query};
constexpr cef_string_t cef_urlparts_t::*kEngineParts[] = {
    &cef_urlparts_t::spec, &cef_urlparts_t::scheme, &cef_urlparts_t::username, &cef_urlparts_t::password,
    &cef_urlparts_t::host, &cef_urlparts_t::port,   &cef_urlparts_t::path,     &cef_urlparts_t::query};
static_assert(std::size(kProgramParts) == std::size(kEngineParts));

}  // namespace

bool CefParseUrl(const ustring& url, TCefUrlParts& parts) {
  const auto parse = CefEntry(cef_parse_url);
  cef_urlparts_t record{};
  const bool parsed = parse(ToEngine(url), &record) != 0;
  // The engine's copies are read (when parsed) and released either way.
  TCefUrlParts result;
  for (size_t i = 0; i < std::size(kEngineParts); ++i)
    result.*kProgramParts[i] = CefStringClearAndGet(&(record.*kEngineParts[i]));
  if (parsed) parts = std::move(result);
  return parsed;
}

bool CefCreateUrl(const TCefUrlParts& parts, ustring& url) {
  const auto create = CefEntry(cef_create_url);
  cef_urlparts_t record{};
  for (size_t i = 0; i < std::size(kEngineParts); ++i)
    record.*kEngineParts[i] = CefStringView(parts.*kProgramParts[i]);
  cef_string_t written{};
  const bool created = create(&record, &written) != 0;
  ustring text = CefStringClearAndGet(&written);
  if (created) url = std::move(text);
  return created;
}

}  // namespace ceflib
