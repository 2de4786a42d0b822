// Requests, their bodies, responses and stream readers of the engine.
#pragma once

#include <istream>
#include <memory>
#include <vector>

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefPostData;
class ICefPostDataElement;
class ICefCustomStreamReader;

class ICefRequest : public virtual ICefBase {
 public:
  virtual ustring GetUrl() = 0;
  virtual ustring GetMethod() = 0;
  virtual RefPtr<ICefPostData> GetPostData() = 0;
  virtual void GetHeaderMap(ICefStringMultimap& headerMap) = 0;
  virtual void SetUrl(const ustring& value) = 0;
  virtual void SetMethod(const ustring& value) = 0;
  virtual void SetPostData(const RefPtr<ICefPostData>& value) = 0;
  virtual void SetHeaderMap(ICefStringMultimap& headerMap) = 0;
  virtual int GetFlags() = 0;
  virtual void SetFlags(int flags) = 0;
  virtual ustring GetFirstPartyForCookies() = 0;
  virtual void SetFirstPartyForCookies(const ustring& url) = 0;
  virtual void Assign(const ustring& url, const ustring& method, const RefPtr<ICefPostData>& postData,
                      ICefStringMultimap& headerMap) = 0;
};

class ICefPostData : public virtual ICefBase {
 public:
  virtual int GetElementCount() = 0;
  virtual std::vector<RefPtr<ICefPostDataElement>> GetElements(int count) = 0;
  virtual int RemoveElement(const RefPtr<ICefPostDataElement>& element) = 0;
  virtual int AddElement(const RefPtr<ICefPostDataElement>& element) = 0;
  virtual void RemoveElements() = 0;
};

class ICefPostDataElement : public virtual ICefBase {
 public:
  virtual void SetToEmpty() = 0;
  virtual void SetToFile(const ustring& fileName) = 0;
  virtual void SetToBytes(int size, const void* bytes) = 0;
  virtual int GetType() = 0;
  virtual ustring GetFile() = 0;
  virtual int GetBytesCount() = 0;
  virtual int GetBytes(int size, void* bytes) = 0;
};

class ICefResponse : public virtual ICefBase {
 public:
  virtual int GetStatus() = 0;
  virtual void SetStatus(int status) = 0;
  virtual ustring GetStatusText() = 0;
  virtual void SetStatusText(const ustring& statusText) = 0;
  virtual ustring GetMimeType() = 0;
  virtual void SetMimeType(const ustring& mimetype) = 0;
  virtual ustring GetHeader(const ustring& name) = 0;
  virtual void GetHeaderMap(ICefStringMultimap& headerMap) = 0;
  virtual void SetHeaderMap(ICefStringMultimap& headerMap) = 0;
};

class ICefStreamReader : public virtual ICefBase {
 public:
  virtual int Read(void* ptr, int size, int n) = 0;
  virtual int Seek(int64_t offset, int whence) = 0;
  virtual int64_t Tell() = 0;
  virtual bool Eof() = 0;
};

class TCefRequestRef final : public TCefRef<TCefRequestRef, ICefRequest, cef_request_t> {
 public:
  using TCefRef::TCefRef;

  ustring GetUrl() override;
  ustring GetMethod() override;
  RefPtr<ICefPostData> GetPostData() override;
  void GetHeaderMap(ICefStringMultimap& headerMap) override;
  void SetUrl(const ustring& value) override;
  void SetMethod(const ustring& value) override;
  // A null body is ignored: the request keeps the one it has.
  void SetPostData(const RefPtr<ICefPostData>& value) override;
  void SetHeaderMap(ICefStringMultimap& headerMap) override;
  int GetFlags() override;
  void SetFlags(int flags) override;
  ustring GetFirstPartyForCookies() override;
  void SetFirstPartyForCookies(const ustring& url) override;
  // Sets all four at once; a null body is passed on.
  void Assign(const ustring& url, const ustring& method, const RefPtr<ICefPostData>& postData,
              ICefStringMultimap& headerMap) override;

  // A new, empty request made by the engine.
  static RefPtr<ICefRequest> New();
};

class TCefPostDataRef final : public TCefRef<TCefPostDataRef, ICefPostData, cef_post_data_t> {
 public:
  using TCefRef::TCefRef;

  int GetElementCount() override;
  // Up to count elements, as many as the engine reports.
  std::vector<RefPtr<ICefPostDataElement>> GetElements(int count) override;
  int RemoveElement(const RefPtr<ICefPostDataElement>& element) override;
  int AddElement(const RefPtr<ICefPostDataElement>& element) override;
  void RemoveElements() override;

  static RefPtr<ICefPostData> New();
};

class TCefPostDataElementRef final
    : public TCefRef<TCefPostDataElementRef, ICefPostDataElement, cef_post_data_element_t> {
 public:
  using TCefRef::TCefRef;

  void SetToEmpty() override;
  void SetToFile(const ustring& fileName) override;
  void SetToBytes(int size, const void* bytes) override;
  int GetType() override;
  ustring GetFile() override;
  int GetBytesCount() override;
  int GetBytes(int size, void* bytes) override;

  static RefPtr<ICefPostDataElement> New();
};

class TCefResponseRef final : public TCefRef<TCefResponseRef, ICefResponse, cef_response_t> {
 public:
  using TCefRef::TCefRef;

  int GetStatus() override;
  void SetStatus(int status) override;
  ustring GetStatusText() override;
  void SetStatusText(const ustring& statusText) override;
  ustring GetMimeType() override;
  void SetMimeType(const ustring& mimetype) override;
  ustring GetHeader(const ustring& name) override;
  void GetHeaderMap(ICefStringMultimap& headerMap) override;
  void SetHeaderMap(ICefStringMultimap& headerMap) override;
};

class TCefStreamReaderRef final : public TCefRef<TCefStreamReaderRef, ICefStreamReader, cef_stream_reader_t> {
 public:
  using TCefRef::TCefRef;

  int Read(void* ptr, int size, int n) override;
  int Seek(int64_t offset, int whence) override;
  int64_t Tell() override;
  bool Eof() override;

  // Engine readers; null when the engine makes none (a file it cannot open).
  static RefPtr<ICefStreamReader> CreateForFile(const ustring& filename);
  static RefPtr<ICefStreamReader> CreateForData(void* data, size_t size);
  static RefPtr<ICefStreamReader> CreateForCustomStream(const RefPtr<ICefCustomStreamReader>& stream);
  // Over a program stream, read through a TCefCustomStreamReader: owned (freed when
  // the engine lets the reader go) or borrowed (must outlive the reader).
  static RefPtr<ICefStreamReader> CreateForStream(std::unique_ptr<std::istream> stream);
  static RefPtr<ICefStreamReader> CreateForStream(std::istream& stream);
};

template <>
struct TCefWrapperOf<ICefRequest> {
  using type = TCefRequestRef;
};
template <>
struct TCefWrapperOf<ICefPostData> {
  using type = TCefPostDataRef;
};
template <>
struct TCefWrapperOf<ICefPostDataElement> {
  using type = TCefPostDataElementRef;
};
template <>
struct TCefWrapperOf<ICefResponse> {
  using type = TCefResponseRef;
};
template <>
struct TCefWrapperOf<ICefStreamReader> {
  using type = TCefStreamReaderRef;
};

}  // namespace ceflib
