#include "ceflib/wrappers/request.h"

#include <algorithm>

#include "ceflib/bridges/custom_stream_reader.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

namespace {

// A byte or element count for the engine: a negative count means none.
size_t CountOf(int value) { return value > 0 ? static_cast<size_t>(value) : 0; }

}  // namespace

// ---- request --------------------------------------------------------------------------

using Request = cef_request_t;

ustring TCefRequestRef::GetUrl() { return Call<ustring>(&Request::get_url); }
ustring TCefRequestRef::GetMethod() { return Call<ustring>(&Request::get_method); }
RefPtr<ICefPostData> TCefRequestRef::GetPostData() {
  return Call<RefPtr<ICefPostData>>(&Request::get_post_data);
}
void TCefRequestRef::GetHeaderMap(ICefStringMultimap& headerMap) {
  Call(&Request::get_header_map, headerMap.GetHandle());
}
void TCefRequestRef::SetUrl(const ustring& value) { Call(&Request::set_url, value); }
void TCefRequestRef::SetMethod(const ustring& value) { Call(&Request::set_method, value); }
void TCefRequestRef::SetPostData(const RefPtr<ICefPostData>& value) {
  if (value) Call(&Request::set_post_data, value);
}
void TCefRequestRef::SetHeaderMap(ICefStringMultimap& headerMap) {
  Call(&Request::set_header_map, headerMap.GetHandle());
}
int TCefRequestRef::GetFlags() { return Call<int>(&Request::get_flags); }
void TCefRequestRef::SetFlags(int flags) {
  Call(&Request::set_flags, static_cast<cef_weburlrequest_flags_t>(flags));
}
ustring TCefRequestRef::GetFirstPartyForCookies() {
  return Call<ustring>(&Request::get_first_party_for_cookies);
}
void TCefRequestRef::SetFirstPartyForCookies(const ustring& url) {
  Call(&Request::set_first_party_for_cookies, url);
}
void TCefRequestRef::Assign(const ustring& url, const ustring& method, const RefPtr<ICefPostData>& postData,
                            ICefStringMultimap& headerMap) {
  Call(&Request::set, url, method, postData, headerMap.GetHandle());
}

RefPtr<ICefRequest> TCefRequestRef::New() { return CefCallExport<RefPtr<ICefRequest>>(cef_request_create); }

// ---- post data ------------------------------------------------------------------------

using PostData = cef_post_data_t;

int TCefPostDataRef::GetElementCount() { return Call<int>(&PostData::get_element_count); }

std::vector<RefPtr<ICefPostDataElement>> TCefPostDataRef::GetElements(int count) {
  std::vector<cef_post_data_element_t*> items(CountOf(count), nullptr);
  size_t written = items.size();
  Call(&PostData::get_elements, &written, items.data());
  // The engine may lower the count; a count it raises beyond the array is not believed.
  written = std::min(written, items.size());
  std::vector<RefPtr<ICefPostDataElement>> elements;
  elements.reserve(written);
  for (size_t i = 0; i < written; ++i) {
    if (RefPtr<ICefPostDataElement> element = TCefPostDataElementRef::UnWrap(items[i])) {
      elements.push_back(std::move(element));
    }
  }
  return elements;
}

int TCefPostDataRef::RemoveElement(const RefPtr<ICefPostDataElement>& element) {
  return Call<int>(&PostData::remove_element, element);
}
int TCefPostDataRef::AddElement(const RefPtr<ICefPostDataElement>& element) {
  return Call<int>(&PostData::add_element, element);
}
void TCefPostDataRef::RemoveElements() { Call(&PostData::remove_elements); }

RefPtr<ICefPostData> TCefPostDataRef::New() {
  return CefCallExport<RefPtr<ICefPostData>>(cef_post_data_create);
}

// ---- post data element ----------------------------------------------------------------

using Element = cef_post_data_element_t;

void TCefPostDataElementRef::SetToEmpty() { Call(&Element::set_to_empty); }
void TCefPostDataElementRef::SetToFile(const ustring& fileName) { Call(&Element::set_to_file, fileName); }
void TCefPostDataElementRef::SetToBytes(int size, const void* bytes) {
  Call(&Element::set_to_bytes, CountOf(size), bytes);
}
int TCefPostDataElementRef::GetType() { return Call<int>(&Element::get_type); }
ustring TCefPostDataElementRef::GetFile() { return Call<ustring>(&Element::get_file); }
int TCefPostDataElementRef::GetBytesCount() { return Call<int>(&Element::get_bytes_count); }
int TCefPostDataElementRef::GetBytes(int size, void* bytes) {
  return Call<int>(&Element::get_bytes, CountOf(size), bytes);
}

RefPtr<ICefPostDataElement> TCefPostDataElementRef::New() {
  return CefCallExport<RefPtr<ICefPostDataElement>>(cef_post_data_element_create);
}

// ---- response -------------------------------------------------------------------------

using Response = cef_response_t;

int TCefResponseRef::GetStatus() { return Call<int>(&Response::get_status); }
void TCefResponseRef::SetStatus(int status) { Call(&Response::set_status, status); }
ustring TCefResponseRef::GetStatusText() { return Call<ustring>(&Response::get_status_text); }
void TCefResponseRef::SetStatusText(const ustring& statusText) {
  Call(&Response::set_status_text, statusText);
}
ustring TCefResponseRef::GetMimeType() { return Call<ustring>(&Response::get_mime_type); }
void TCefResponseRef::SetMimeType(const ustring& mimetype) { Call(&Response::set_mime_type, mimetype); }
ustring TCefResponseRef::GetHeader(const ustring& name) { return Call<ustring>(&Response::get_header, name); }
void TCefResponseRef::GetHeaderMap(ICefStringMultimap& headerMap) {
  Call(&Response::get_header_map, headerMap.GetHandle());
}
void TCefResponseRef::SetHeaderMap(ICefStringMultimap& headerMap) {
  Call(&Response::set_header_map, headerMap.GetHandle());
}

// ---- stream reader --------------------------------------------------------------------

using Reader = cef_stream_reader_t;

int TCefStreamReaderRef::Read(void* ptr, int size, int n) {
  return Call<int>(&Reader::read, ptr, CountOf(size), CountOf(n));
}
int TCefStreamReaderRef::Seek(int64_t offset, int whence) { return Call<int>(&Reader::seek, offset, whence); }
int64_t TCefStreamReaderRef::Tell() { return Call<int64_t>(&Reader::tell); }
bool TCefStreamReaderRef::Eof() { return Call<bool>(&Reader::eof); }

RefPtr<ICefStreamReader> TCefStreamReaderRef::CreateForFile(const ustring& filename) {
  return CefCallExport<RefPtr<ICefStreamReader>>(cef_stream_reader_create_for_file, filename);
}
RefPtr<ICefStreamReader> TCefStreamReaderRef::CreateForData(void* data, size_t size) {
  return CefCallExport<RefPtr<ICefStreamReader>>(cef_stream_reader_create_for_data, data, size);
}
RefPtr<ICefStreamReader> TCefStreamReaderRef::CreateForCustomStream(
    const RefPtr<ICefCustomStreamReader>& stream) {
  return CefCallExport<RefPtr<ICefStreamReader>>(cef_stream_reader_create_for_handler, stream);
}
RefPtr<ICefStreamReader> TCefStreamReaderRef::CreateForStream(std::unique_ptr<std::istream> stream) {
  if (!stream) return nullptr;
  return CreateForCustomStream(Make<TCefCustomStreamReader>(std::move(stream)));
}
RefPtr<ICefStreamReader> TCefStreamReaderRef::CreateForStream(std::istream& stream) {
  return CreateForCustomStream(Make<TCefCustomStreamReader>(stream));
}

}  // namespace ceflib
