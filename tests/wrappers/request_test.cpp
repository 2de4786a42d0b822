#include <gtest/gtest.h>

#include "ceflib/bridges/cookie_visitor.h"
#include "ceflib/bridges/custom_stream_reader.h"
#include "ceflib/bridges/web_urlrequest_client.h"
#include "ceflib/wrappers/cookie_manager.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/web_urlrequest.h"
#include "wrappers/operation_check.h"

using namespace ceflib;

namespace {

using Request = cef_request_t;
using PostData = cef_post_data_t;
using Element = cef_post_data_element_t;
using Response = cef_response_t;
using Reader = cef_stream_reader_t;

TEST(RequestWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Request::get_url, ICefRequest::GetUrl);
  CHECK_OPERATION(Request::get_method, ICefRequest::GetMethod);
  CHECK_OPERATION(Request::get_post_data, ICefRequest::GetPostData);
  CHECK_OPERATION(Request::get_header_map, ICefRequest::GetHeaderMap);
  CHECK_OPERATION(Request::set_url, ICefRequest::SetUrl);
  CHECK_OPERATION(Request::set_method, ICefRequest::SetMethod);
  CHECK_OPERATION(Request::set_header_map, ICefRequest::SetHeaderMap);
  CHECK_OPERATION(Request::get_flags, ICefRequest::GetFlags);
  CHECK_OPERATION(Request::set_flags, ICefRequest::SetFlags);
  CHECK_OPERATION(Request::get_first_party_for_cookies, ICefRequest::GetFirstPartyForCookies);
  CHECK_OPERATION(Request::set_first_party_for_cookies, ICefRequest::SetFirstPartyForCookies);
  CHECK_OPERATION(Request::set, ICefRequest::Assign);  // a nil body is passed on the second time
}

TEST(RequestWrapper, SetPostDataIgnoresNilAndKeepsTheBody) {
  FakeRecord<Request> engine;
  FakeEngineObject<PostData> body;
  std::vector<PostData*> set;
  engine.On<&Request::set_post_data>([&](PostData* value) {
    set.push_back(value);
    if (value) value->base.release(&value->base);
  });
  RefPtr<ICefRequest> request = TCefRequestRef::UnWrap(engine.get());
  RefPtr<ICefPostData> wrapped = TCefPostDataRef::UnWrap(body.get());
  request->SetPostData(wrapped);
  request->SetPostData(nullptr);
  EXPECT_EQ(set, std::vector<PostData*>{body.get()}) << "nil does not reach the engine";
  wrapped.reset();
  EXPECT_EQ(body.refs, 0);
}

TEST(RequestWrapper, HeaderMapsTravelAsTheProgramMapsHandle) {
  FakeRecord<Request> engine;
  FakeRecord<Response> response;
  const ustring version = u"X-CEF-Version", contentType = u"Content-Type", html = u"text/html";
  ustring stored;
  engine.On<&Request::set_header_map>([&](cef_string_multimap_t map) {
    cef_string_t value{};
    cef_string_t key = CefStringView(version);
    cef_string_multimap_enumerate(map, &key, 0, &value);
    stored = CefStringClearAndGet(&value);
  });
  response.On<&Response::get_header_map>([&](cef_string_multimap_t map) {
    cef_string_t key = CefStringView(contentType);
    cef_string_t value = CefStringView(html);
    cef_string_multimap_append(map, &key, &value);
  });

  RefPtr<TCefStringMultimapOwn> headers = Make<TCefStringMultimapOwn>();
  headers->Append(u"X-CEF-Version", u"1.0.0.3");
  TCefRequestRef::UnWrap(engine.get())->SetHeaderMap(*headers);
  EXPECT_EQ(stored, u"1.0.0.3");

  RefPtr<TCefStringMultimapOwn> received = Make<TCefStringMultimapOwn>();
  TCefResponseRef::UnWrap(response.get())->GetHeaderMap(*received);
  ASSERT_EQ(received->GetSize(), 1);
  EXPECT_EQ(received->GetKey(0), u"Content-Type");
  EXPECT_EQ(received->GetValue(0), u"text/html");
}

TEST(PostDataWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(PostData::get_element_count, ICefPostData::GetElementCount);
  CHECK_OPERATION(PostData::remove_element, ICefPostData::RemoveElement);
  CHECK_OPERATION(PostData::add_element, ICefPostData::AddElement);
  CHECK_OPERATION(PostData::remove_elements, ICefPostData::RemoveElements);
}

// Post data whose engine writes `written` of its elements and reports `reported`.
struct FakePostData {
  FakeRecord<PostData> engine;
  FakeEngineObject<Element> elements[3];
  size_t written = 0;
  size_t reported = 0;
  std::vector<size_t> askedFor;

  FakePostData() {
    for (auto& element : elements) element.refs = 0;
    engine.On<&PostData::get_elements>([this](size_t* count, Element** out) {
      askedFor.push_back(*count);
      for (size_t i = 0; i < written && i < *count; ++i) {
        elements[i].refs++;
        out[i] = elements[i].get();
      }
      *count = reported;
    });
  }
  std::vector<RefPtr<ICefPostDataElement>> Get(int count) {
    return TCefPostDataRef::UnWrap(engine.get())->GetElements(count);
  }
};

TEST(PostDataWrapper, GetElementsReturnsAsManyAsTheEngineReports) {
  FakePostData post;
  EXPECT_TRUE(post.Get(0).empty());
  EXPECT_EQ(post.askedFor, std::vector<size_t>{0}) << "the engine is asked with a zero count";

  post.written = post.reported = 2;  // fewer than asked
  std::vector<RefPtr<ICefPostDataElement>> got = post.Get(3);
  EXPECT_EQ(post.askedFor.back(), 3u);
  ASSERT_EQ(got.size(), 2u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(static_cast<void*>(got[i]->Wrap()), static_cast<void*>(post.elements[i].get()))
        << "in index order";
    post.elements[i].refs--;
  }
  got.clear();
  EXPECT_EQ(post.elements[0].refs + post.elements[1].refs, 0);

  post.written = 1;
  post.reported = 5;  // more than the array holds: not believed, nil entries skipped
  got = post.Get(2);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_TRUE(post.Get(-4).empty()) << "a negative count asks for none";
  EXPECT_EQ(post.askedFor.back(), 0u);
}

TEST(PostDataElementWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Element::set_to_empty, ICefPostDataElement::SetToEmpty);
  CHECK_OPERATION(Element::set_to_file, ICefPostDataElement::SetToFile);
  CHECK_OPERATION(Element::set_to_bytes, ICefPostDataElement::SetToBytes);
  CHECK_OPERATION(Element::get_type, ICefPostDataElement::GetType);
  CHECK_OPERATION(Element::get_file, ICefPostDataElement::GetFile);
  CHECK_OPERATION(Element::get_bytes_count, ICefPostDataElement::GetBytesCount);
  CHECK_OPERATION(Element::get_bytes, ICefPostDataElement::GetBytes);
}

TEST(PostDataElementWrapper, NegativeSizesReachTheEngineAsZero) {
  FakeRecord<Element> engine;
  std::vector<size_t> sizes;
  engine.On<&Element::set_to_bytes>([&](size_t size, const void*) { sizes.push_back(size); });
  engine.On<&Element::get_bytes>([&](size_t size, void*) {
    sizes.push_back(size);
    return size_t{0};
  });
  RefPtr<ICefPostDataElement> element = TCefPostDataElementRef::UnWrap(engine.get());
  char bytes[4] = {};
  element->SetToBytes(-1, bytes);
  element->GetBytes(-1, bytes);
  EXPECT_EQ(sizes, (std::vector<size_t>{0, 0}));
}

TEST(ResponseWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(Response::get_status, ICefResponse::GetStatus);
  CHECK_OPERATION(Response::set_status, ICefResponse::SetStatus);
  CHECK_OPERATION(Response::get_status_text, ICefResponse::GetStatusText);
  CHECK_OPERATION(Response::set_status_text, ICefResponse::SetStatusText);
  CHECK_OPERATION(Response::get_mime_type, ICefResponse::GetMimeType);
  CHECK_OPERATION(Response::set_mime_type, ICefResponse::SetMimeType);
  CHECK_OPERATION(Response::get_header, ICefResponse::GetHeader);
  CHECK_OPERATION(Response::get_header_map, ICefResponse::GetHeaderMap);
  CHECK_OPERATION(Response::set_header_map, ICefResponse::SetHeaderMap);
}

TEST(StreamReaderWrapper, EveryOperationConvertsAsTheEngineExpects) {
  // The second values include negative engine results, handed on unchanged.
  CHECK_OPERATION(Reader::read, ICefStreamReader::Read);
  CHECK_OPERATION(Reader::seek, ICefStreamReader::Seek);
  CHECK_OPERATION(Reader::tell, ICefStreamReader::Tell);
  CHECK_OPERATION(Reader::eof, ICefStreamReader::Eof);
}

TEST(CookieManagerWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(cef_cookie_manager_t::delete_cookies, ICefCookieManager::DeleteCookies);
  CHECK_OPERATION(cef_cookie_manager_t::set_storage_path, ICefCookieManager::SetStoragePath);
}

TEST(CookieManagerWrapper, CookiesSchemesAndVisitorsReachTheEngineAsItExpectsThem) {
  FakeRecord<cef_cookie_manager_t> engine;
  std::vector<ustring> schemes;
  engine.On<&cef_cookie_manager_t::set_supported_schemes>(
      [&](cef_string_list_t list) { CefStringListRead(list, schemes); });
  ustring stored;
  engine.On<&cef_cookie_manager_t::set_cookie>([&](const cef_string_t* url, const cef_cookie_t* cookie) {
    EXPECT_EQ(CefStringRead(url), u"http://game.test/");
    const TCefCookie back(cookie);
    stored = back.name + u"=" + back.value + u";" + back.domain + back.path +
             (back.secure ? u";secure" : u"") + (back.httponly ? u";httponly" : u"") +
             (back.hasExpires ? u";expires" : u"");
    EXPECT_DOUBLE_EQ(back.expires, 46000.25);
    return 1;
  });
  int visits = 0;
  engine.On<&cef_cookie_manager_t::visit_url_cookies>(
      [&](const cef_string_t* url, int includeHttpOnly, cef_cookie_visitor_t* visitor) {
        EXPECT_EQ(CefStringRead(url), u"http://game.test/");
        EXPECT_EQ(includeHttpOnly, 1);
        int deleteCookie = 0;
        visitor->visit(visitor, nullptr, 0, 1, &deleteCookie);
        visitor->base.release(&visitor->base);  // the engine's reference
        return 1;
      });
  RefPtr<ICefCookieManager> manager = TCefCookieManagerRef::UnWrap(engine.get());
  manager->SetSupportedSchemes({u"http", u"game"});
  EXPECT_EQ(schemes, (std::vector<ustring>{u"http", u"game"}));
  TCefCookie cookie;
  cookie.name = u"session";
  cookie.value = u"abc";
  cookie.domain = u".game.test";
  cookie.path = u"/";
  cookie.secure = true;
  cookie.hasExpires = true;
  cookie.expires = 46000.25;
  EXPECT_TRUE(manager->SetCookie(u"http://game.test/", cookie));
  EXPECT_EQ(stored, u"session=abc;.game.test/;secure;expires");
  EXPECT_TRUE(
      manager->VisitUrlCookiesProc(u"http://game.test/", true, [&](const TCefCookie&, int, int, bool&) {
        ++visits;
        return true;
      }));
  EXPECT_EQ(visits, 1);
  cookie.expires = -700000;  // before the year 1
  EXPECT_THROW(manager->SetCookie(u"http://game.test/", cookie), EConvertError);
  manager.reset();
  EXPECT_EQ(engine.refs, 0);
}

TEST(WebUrlRequestWrapper, EveryOperationConvertsAsTheEngineExpects) {
  CHECK_OPERATION(cef_web_urlrequest_t::cancel, ICefWebUrlRequest::Cancel);
  CHECK_OPERATION(cef_web_urlrequest_t::get_state, ICefWebUrlRequest::GetState);
}

// ---- class functions: the engine's factories, played here -------------------------------

template <class Record>
struct Factory {
  static inline FakeEngineObject<Record>* made = nullptr;  // null: the engine makes none
  static Record* Create() { return made ? made->get() : nullptr; }
};

template <class Iface, class Record>
void ExpectNewWraps(Record* (*&entry)(), RefPtr<Iface> (*makeNew)()) {
  ScopedExport replaced(entry, &Factory<Record>::Create);
  FakeEngineObject<Record> object;
  Factory<Record>::made = &object;
  RefPtr<Iface> made = makeNew();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(static_cast<void*>(made->Wrap()), static_cast<void*>(object.get()));
  object.refs--;
  made.reset();
  EXPECT_EQ(object.refs, 0) << "the wrapper took over the engine's reference";
  Factory<Record>::made = nullptr;
  EXPECT_EQ(makeNew(), nullptr);
}

TEST(ClassFunctions, NewWrapsWhatTheEngineMakes) {
  ExpectNewWraps<ICefRequest>(cef_request_create, &TCefRequestRef::New);
  ExpectNewWraps<ICefPostData>(cef_post_data_create, &TCefPostDataRef::New);
  ExpectNewWraps<ICefPostDataElement>(cef_post_data_element_create, &TCefPostDataElementRef::New);
  ExpectNewWraps<ICefCookieManager>(cef_cookie_manager_get_global_manager,
                                    &TCefCookieManagerRef::GetGlobalManager);
}

FakeEngineObject<Reader>* gMadeReader = nullptr;
std::vector<ustring> gFiles;
std::vector<std::pair<void*, size_t>> gData;
cef_read_handler_t* gHandler = nullptr;

Reader* MadeReader() { return gMadeReader ? gMadeReader->get() : nullptr; }
Reader* ReaderForFile(const cef_string_t* name) {
  gFiles.push_back(CefStringRead(name));
  return MadeReader();
}
Reader* ReaderForData(void* data, size_t size) {
  gData.emplace_back(data, size);
  return MadeReader();
}
Reader* ReaderForHandler(cef_read_handler_t* handler) {
  gHandler = handler;
  return MadeReader();
}

TEST(ClassFunctions, StreamReadersComeFromTheEnginesFactories) {
  ScopedExport forFile(cef_stream_reader_create_for_file, &ReaderForFile);
  ScopedExport forData(cef_stream_reader_create_for_data, &ReaderForData);
  ScopedExport forHandler(cef_stream_reader_create_for_handler, &ReaderForHandler);
  FakeEngineObject<Reader> reader;
  reader.refs = 0;

  EXPECT_EQ(TCefStreamReaderRef::CreateForFile(u"missing.bin"), nullptr)
      << "no reader from the engine, none here";
  EXPECT_EQ(gFiles, std::vector<ustring>{u"missing.bin"});

  gMadeReader = &reader;
  reader.refs = 1;
  EXPECT_NE(TCefStreamReaderRef::CreateForFile(u"data.bin"), nullptr);
  EXPECT_EQ(reader.refs, 0);

  char block[8];
  reader.refs = 1;
  EXPECT_NE(TCefStreamReaderRef::CreateForData(block, sizeof block), nullptr);
  EXPECT_EQ(gData, (std::vector<std::pair<void*, size_t>>{{block, sizeof block}}));

  RefPtr<ICefCustomStreamReader> custom =
      Make<TCefCustomStreamReader>(std::make_unique<std::istringstream>("x"));
  reader.refs = 1;
  EXPECT_NE(TCefStreamReaderRef::CreateForCustomStream(custom), nullptr);
  ASSERT_EQ(static_cast<void*>(gHandler), static_cast<void*>(Cast<TCefBaseOwn>(custom)->Data()));
  EXPECT_EQ(gHandler->base.get_refct(&gHandler->base), 2) << "one reference for the engine";
  gHandler->base.release(&gHandler->base);
  EXPECT_EQ(reader.refs, 0);

  gHandler = nullptr;
  EXPECT_EQ(TCefStreamReaderRef::CreateForStream(std::unique_ptr<std::istream>()), nullptr)
      << "no stream, no reader";
  EXPECT_EQ(gHandler, nullptr) << "the engine was not asked";
  gMadeReader = nullptr;
}

}  // namespace
