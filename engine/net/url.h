// Addresses: parsing into parts, writing them back, resolving relative addresses, and
// the set of schemes parsed like http:// (host and path), custom ones included.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cef_engine::net {

struct Url {
  std::u16string scheme;  // lower case, without ':'
  std::u16string username, password, host, port;
  std::u16string path;      // for standard schemes begins with '/'; otherwise the rest after ':'
  std::u16string query;     // without '?'
  std::u16string fragment;  // without '#'
  bool standard = false;    // has an authority (scheme://host/path)
  bool has_query = false;
  bool has_fragment = false;

  // The canonical address.
  std::u16string Spec() const;
  // The address without its fragment, as sent to servers and handlers.
  std::u16string SpecWithoutFragment() const;
  // 80 for http when no port is given, and so on; 0 when unknown.
  int EffectivePort() const;
};

// Parses an absolute address; nothing for text that has no valid scheme, or a standard
// scheme without a host (file: excepted).
std::optional<Url> ParseUrl(std::u16string_view text);

// `relative` against `base` (absolute addresses are parsed as they are).
std::optional<Url> ResolveUrl(const Url& base, std::u16string_view relative);

// http, https, ftp, file and the custom schemes the application declared standard.
bool IsStandardScheme(std::u16string_view scheme);
// Records a custom scheme; false for a name that is not a valid scheme or is built in.
bool RegisterCustomScheme(std::u16string_view scheme, bool standard);
// Forgets the custom schemes (engine shutdown).
void ClearCustomSchemes();

}  // namespace cef_engine::net
