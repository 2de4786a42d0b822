// Request, post data, post data element and response records. Each object guards its
// state with a lock of its own: the program reaches them on the main thread while the
// IO thread loads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine::net {

using HeaderList = std::vector<std::pair<std::u16string, std::u16string>>;

// Reads a program multimap handle into a list; an unknown handle reads as empty.
HeaderList ReadMultimap(cef_string_multimap_t map);
// Replaces the content of a program multimap with `headers`.
void FillMultimap(cef_string_multimap_t map, const HeaderList& headers);

class PostDataElement final : public EngineObject<cef_post_data_element_t> {
 public:
  PostDataElement();
  // The bytes this element sends: its bytes, or the content of its file.
  std::string Body();

 private:
  std::mutex mutex_;
  cef_postdataelement_type_t type_ = PDE_TYPE_EMPTY;
  std::u16string file_;
  std::string bytes_;
  friend struct PostDataElementEntries;
};

class PostData final : public EngineObject<cef_post_data_t> {
 public:
  PostData();
  // The request body: the elements' bytes in order.
  std::string Body();

 private:
  std::mutex mutex_;
  std::vector<EngineRef<PostDataElement>> elements_;
  friend struct PostDataEntries;
};

class Request final : public EngineObject<cef_request_t> {
 public:
  Request();

  struct Snapshot {
    std::u16string url, method;
    HeaderList headers;
    std::string body;
  };
  // What a load sends: the method ("GET", or "POST" with a body, when none was set).
  Snapshot Take();
  void Set(std::u16string url, std::u16string method, HeaderList headers, std::string body);

 private:
  std::mutex mutex_;
  std::u16string url_, method_, first_party_;
  EngineRef<PostData> post_data_;
  HeaderList headers_;
  cef_weburlrequest_flags_t flags_ = WUR_FLAG_NONE;
  friend struct RequestEntries;
};

class Response final : public EngineObject<cef_response_t> {
 public:
  Response();

  struct Snapshot {
    int status = 0;
    std::u16string status_text, mime_type;
    HeaderList headers;
  };
  Snapshot Take();
  void Set(Snapshot snapshot);

 private:
  std::mutex mutex_;
  Snapshot state_;
  friend struct ResponseEntries;
};

}  // namespace cef_engine::net
