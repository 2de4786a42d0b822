#include "net/records.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cef_engine.h"
#include "net/text_util.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

template <class T, class Record>
T& Self(Record* record) {
  return *static_cast<T*>(T::FromRecord(record));
}

std::u16string Text(const cef_string_t* text) { return std::u16string(ViewOf(text)); }

// Files of post data elements are read whole; a file that cannot be read sends nothing.
std::string ReadFile(const std::u16string& name) {
  std::ifstream file(std::filesystem::path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

HeaderList ReadMultimap(cef_string_multimap_t map) {
  HeaderList headers;
  const int size = cef_string_multimap_size(map);
  for (int i = 0; i < size; ++i) {
    cef_string_t key{}, value{};
    cef_string_multimap_key(map, i, &key);
    cef_string_multimap_value(map, i, &value);
    headers.emplace_back(Text(&key), Text(&value));
    ClearRecord(&key);
    ClearRecord(&value);
  }
  return headers;
}

void FillMultimap(cef_string_multimap_t map, const HeaderList& headers) {
  cef_string_multimap_clear(map);
  for (const auto& [key, value] : headers) {
    const cef_string_t key_view = View(key);
    const cef_string_t value_view = View(value);
    cef_string_multimap_append(map, &key_view, &value_view);
  }
}

// --- post data element -------------------------------------------------------------------

struct PostDataElementEntries {
  using E = PostDataElement;
  static void CEF_CALLBACK SetToEmpty(cef_post_data_element_t* self) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    e.type_ = PDE_TYPE_EMPTY;
    e.file_.clear();
    e.bytes_.clear();
  }
  static void CEF_CALLBACK SetToFile(cef_post_data_element_t* self, const cef_string_t* name) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    e.type_ = PDE_TYPE_FILE;
    e.file_ = Text(name);
    e.bytes_.clear();
  }
  static void CEF_CALLBACK SetToBytes(cef_post_data_element_t* self, size_t size, const void* bytes) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    e.type_ = PDE_TYPE_BYTES;
    e.file_.clear();
    e.bytes_.assign(bytes ? static_cast<const char*>(bytes) : "", bytes ? size : 0);
  }
  static cef_postdataelement_type_t CEF_CALLBACK GetType(cef_post_data_element_t* self) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    return e.type_;
  }
  static cef_string_userfree_t CEF_CALLBACK GetFile(cef_post_data_element_t* self) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    return e.type_ == PDE_TYPE_FILE ? NewUserfree(e.file_) : nullptr;
  }
  static size_t CEF_CALLBACK GetBytesCount(cef_post_data_element_t* self) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    return e.bytes_.size();
  }
  // Copies at most `size` bytes; answers how many were copied.
  static size_t CEF_CALLBACK GetBytes(cef_post_data_element_t* self, size_t size, void* bytes) {
    auto& e = Self<E>(self);
    std::lock_guard lock(e.mutex_);
    if (!bytes) return 0;
    const size_t n = std::min(size, e.bytes_.size());
    std::memcpy(bytes, e.bytes_.data(), n);
    return n;
  }
};

PostDataElement::PostDataElement() {
  auto* r = record();
  using E = PostDataElementEntries;
  r->set_to_empty = &E::SetToEmpty;
  r->set_to_file = &E::SetToFile;
  r->set_to_bytes = &E::SetToBytes;
  r->get_type = &E::GetType;
  r->get_file = &E::GetFile;
  r->get_bytes_count = &E::GetBytesCount;
  r->get_bytes = &E::GetBytes;
}

std::string PostDataElement::Body() {
  std::unique_lock lock(mutex_);
  if (type_ == PDE_TYPE_BYTES) return bytes_;
  if (type_ != PDE_TYPE_FILE) return {};
  const std::u16string file = file_;
  lock.unlock();
  return ReadFile(file);
}

// --- post data ---------------------------------------------------------------------------

struct PostDataEntries {
  using P = PostData;
  static size_t CEF_CALLBACK GetElementCount(cef_post_data_t* self) {
    auto& p = Self<P>(self);
    std::lock_guard lock(p.mutex_);
    return p.elements_.size();
  }
  // Hands out at most *count elements, each with a reference, and sets *count to the
  // number written.
  static void CEF_CALLBACK GetElements(cef_post_data_t* self, size_t* count,
                                       cef_post_data_element_t** elements) {
    auto& p = Self<P>(self);
    if (!count) return;
    if (!elements) {
      *count = 0;
      return;
    }
    std::lock_guard lock(p.mutex_);
    const size_t n = std::min(*count, p.elements_.size());
    for (size_t i = 0; i < n; ++i) elements[i] = p.elements_[i]->Share();
    *count = n;
  }
  static int CEF_CALLBACK RemoveElement(cef_post_data_t* self, cef_post_data_element_t* element) {
    auto held = ProgramRef<cef_post_data_element_t>::Adopt(element);
    auto& p = Self<P>(self);
    std::lock_guard lock(p.mutex_);
    const auto it = std::find_if(p.elements_.begin(), p.elements_.end(),
                                 [element](const auto& e) { return e->record() == element; });
    if (it == p.elements_.end()) return 0;
    p.elements_.erase(it);
    return 1;
  }
  // Keeps the reference that came with the element; a foreign record or one already
  // added is refused (and its reference released).
  static int CEF_CALLBACK AddElement(cef_post_data_t* self, cef_post_data_element_t* element) {
    auto held = ProgramRef<cef_post_data_element_t>::Adopt(element);
    if (!PostDataElement::IsOurs(element)) return 0;
    auto& p = Self<P>(self);
    std::lock_guard lock(p.mutex_);
    if (std::any_of(p.elements_.begin(), p.elements_.end(),
                    [element](const auto& e) { return e->record() == element; }))
      return 0;
    p.elements_.push_back(EngineRef<PostDataElement>::Adopt(held.Release()));
    return 1;
  }
  static void CEF_CALLBACK RemoveElements(cef_post_data_t* self) {
    std::vector<EngineRef<PostDataElement>> dropped;
    auto& p = Self<P>(self);
    std::lock_guard lock(p.mutex_);
    dropped.swap(p.elements_);
  }
};

PostData::PostData() {
  auto* r = record();
  using P = PostDataEntries;
  r->get_element_count = &P::GetElementCount;
  r->get_elements = &P::GetElements;
  r->remove_element = &P::RemoveElement;
  r->add_element = &P::AddElement;
  r->remove_elements = &P::RemoveElements;
}

std::string PostData::Body() {
  std::vector<EngineRef<PostDataElement>> elements;
  {
    std::lock_guard lock(mutex_);
    elements = elements_;
  }
  std::string body;
  for (const auto& element : elements) body += element->Body();
  return body;
}

// --- request -----------------------------------------------------------------------------

struct RequestEntries {
  using R = Request;
  template <std::u16string Request::*Field>
  static cef_string_userfree_t CEF_CALLBACK GetText(cef_request_t* self) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    return NewUserfree(r.*Field);
  }
  template <std::u16string Request::*Field>
  static void CEF_CALLBACK SetText(cef_request_t* self, const cef_string_t* value) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    r.*Field = Text(value);
  }
  static cef_post_data_t* CEF_CALLBACK GetPostData(cef_request_t* self) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    return r.post_data_ ? r.post_data_->Share() : nullptr;
  }
  // Null removes the body; a record that is not the engine's is refused.
  static void CEF_CALLBACK SetPostData(cef_request_t* self, cef_post_data_t* post_data) {
    auto held = ProgramRef<cef_post_data_t>::Adopt(post_data);
    if (post_data && !PostData::IsOurs(post_data)) return;
    auto& r = Self<R>(self);
    EngineRef<PostData> old;
    std::lock_guard lock(r.mutex_);
    old = std::exchange(r.post_data_, EngineRef<PostData>::Adopt(held.Release()));
  }
  static void CEF_CALLBACK GetHeaderMap(cef_request_t* self, cef_string_multimap_t map) {
    auto& r = Self<R>(self);
    HeaderList headers;
    {
      std::lock_guard lock(r.mutex_);
      headers = r.headers_;
    }
    FillMultimap(map, headers);
  }
  static void CEF_CALLBACK SetHeaderMap(cef_request_t* self, cef_string_multimap_t map) {
    auto& r = Self<R>(self);
    HeaderList headers = ReadMultimap(map);
    std::lock_guard lock(r.mutex_);
    r.headers_ = std::move(headers);
  }
  static void CEF_CALLBACK SetAll(cef_request_t* self, const cef_string_t* url, const cef_string_t* method,
                                  cef_post_data_t* post_data, cef_string_multimap_t map) {
    SetText<&Request::url_>(self, url);
    SetText<&Request::method_>(self, method);
    SetPostData(self, post_data);
    SetHeaderMap(self, map);
  }
  static cef_weburlrequest_flags_t CEF_CALLBACK GetFlags(cef_request_t* self) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    return r.flags_;
  }
  static void CEF_CALLBACK SetFlags(cef_request_t* self, cef_weburlrequest_flags_t flags) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    r.flags_ = flags;
  }
};

Request::Request() {
  auto* r = record();
  using E = RequestEntries;
  r->get_url = &E::GetText<&Request::url_>;
  r->set_url = &E::SetText<&Request::url_>;
  r->get_method = &E::GetText<&Request::method_>;
  r->set_method = &E::SetText<&Request::method_>;
  r->get_post_data = &E::GetPostData;
  r->set_post_data = &E::SetPostData;
  r->get_header_map = &E::GetHeaderMap;
  r->set_header_map = &E::SetHeaderMap;
  r->set = &E::SetAll;
  r->get_flags = &E::GetFlags;
  r->set_flags = &E::SetFlags;
  r->get_first_party_for_cookies = &E::GetText<&Request::first_party_>;
  r->set_first_party_for_cookies = &E::SetText<&Request::first_party_>;
}

Request::Snapshot Request::Take() {
  Snapshot snapshot;
  EngineRef<PostData> post_data;
  {
    std::lock_guard lock(mutex_);
    snapshot.url = url_;
    snapshot.method = method_;
    snapshot.headers = headers_;
    post_data = post_data_;
  }
  if (post_data) snapshot.body = post_data->Body();
  if (snapshot.method.empty()) snapshot.method = post_data ? u"POST" : u"GET";
  return snapshot;
}

void Request::Set(std::u16string url, std::u16string method, HeaderList headers, std::string body) {
  EngineRef<PostData> post_data;
  if (!body.empty()) {
    post_data = MakeEngineObject<PostData>();
    auto element = MakeEngineObject<PostDataElement>();
    element->record()->set_to_bytes(element->record(), body.size(), body.data());
    post_data->record()->add_element(post_data->record(), element->Share());
  }
  std::lock_guard lock(mutex_);
  url_ = std::move(url);
  method_ = std::move(method);
  headers_ = std::move(headers);
  std::swap(post_data_, post_data);
}

// --- response ----------------------------------------------------------------------------

struct ResponseEntries {
  using R = Response;
  static int CEF_CALLBACK GetStatus(cef_response_t* self) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    return r.state_.status;
  }
  static void CEF_CALLBACK SetStatus(cef_response_t* self, int status) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    r.state_.status = status;
  }
  template <std::u16string Response::Snapshot::*Field>
  static cef_string_userfree_t CEF_CALLBACK GetText(cef_response_t* self) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    return NewUserfree(r.state_.*Field);
  }
  template <std::u16string Response::Snapshot::*Field>
  static void CEF_CALLBACK SetText(cef_response_t* self, const cef_string_t* value) {
    auto& r = Self<R>(self);
    std::lock_guard lock(r.mutex_);
    r.state_.*Field = Text(value);
  }
  // The first header of that name, ignoring case; null when there is none.
  static cef_string_userfree_t CEF_CALLBACK GetHeader(cef_response_t* self, const cef_string_t* name) {
    auto& r = Self<R>(self);
    const auto wanted = AsciiLower(ViewOf(name));
    std::lock_guard lock(r.mutex_);
    for (const auto& [key, value] : r.state_.headers) {
      if (AsciiLower(std::u16string_view(key)) == wanted) return NewUserfree(value);
    }
    return nullptr;
  }
  static void CEF_CALLBACK GetHeaderMap(cef_response_t* self, cef_string_multimap_t map) {
    auto& r = Self<R>(self);
    HeaderList headers;
    {
      std::lock_guard lock(r.mutex_);
      headers = r.state_.headers;
    }
    FillMultimap(map, headers);
  }
  static void CEF_CALLBACK SetHeaderMap(cef_response_t* self, cef_string_multimap_t map) {
    auto& r = Self<R>(self);
    HeaderList headers = ReadMultimap(map);
    std::lock_guard lock(r.mutex_);
    r.state_.headers = std::move(headers);
  }
};

Response::Response() {
  auto* r = record();
  using E = ResponseEntries;
  r->get_status = &E::GetStatus;
  r->set_status = &E::SetStatus;
  r->get_status_text = &E::GetText<&Snapshot::status_text>;
  r->set_status_text = &E::SetText<&Snapshot::status_text>;
  r->get_mime_type = &E::GetText<&Snapshot::mime_type>;
  r->set_mime_type = &E::SetText<&Snapshot::mime_type>;
  r->get_header = &E::GetHeader;
  r->get_header_map = &E::GetHeaderMap;
  r->set_header_map = &E::SetHeaderMap;
}

Response::Snapshot Response::Take() {
  std::lock_guard lock(mutex_);
  return state_;
}

void Response::Set(Snapshot snapshot) {
  std::lock_guard lock(mutex_);
  state_ = std::move(snapshot);
}

}  // namespace cef_engine::net

using cef_engine::NewEngineRecord;

extern "C" {

cef_request_t* cef_request_create() { return NewEngineRecord<cef_engine::net::Request>(); }

cef_post_data_t* cef_post_data_create() { return NewEngineRecord<cef_engine::net::PostData>(); }

cef_post_data_element_t* cef_post_data_element_create() {
  return NewEngineRecord<cef_engine::net::PostDataElement>();
}

}  // extern "C"
