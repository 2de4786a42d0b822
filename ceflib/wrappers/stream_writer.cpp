#include "ceflib/wrappers/stream_writer.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

using Writer = cef_stream_writer_t;

size_t TCefStreamWriterRef::Write(const void* ptr, size_t size, size_t n) {
  return Call<size_t>(&Writer::write, ptr, size, n);
}
int TCefStreamWriterRef::Seek(int64_t offset, int whence) { return Call<int>(&Writer::seek, offset, whence); }
int64_t TCefStreamWriterRef::Tell() { return Call<int64_t>(&Writer::tell); }
int TCefStreamWriterRef::Flush() { return Call<int>(&Writer::flush); }

RefPtr<ICefStreamWriter> TCefStreamWriterRef::CreateForFile(const ustring& fileName) {
  return CefCallExport<RefPtr<ICefStreamWriter>>(cef_stream_writer_create_for_file, fileName);
}
RefPtr<ICefStreamWriter> TCefStreamWriterRef::CreateForCustomStream(
    const RefPtr<ICefCustomStreamWriter>& stream) {
  return CefCallExport<RefPtr<ICefStreamWriter>>(cef_stream_writer_create_for_handler, stream);
}
RefPtr<ICefStreamWriter> TCefStreamWriterRef::CreateForStream(std::unique_ptr<std::ostream> stream) {
  if (!stream) return nullptr;
  return CreateForCustomStream(Make<TCefCustomStreamWriter>(std::move(stream)));
}
RefPtr<ICefStreamWriter> TCefStreamWriterRef::CreateForStream(std::ostream& stream) {
  return CreateForCustomStream(Make<TCefCustomStreamWriter>(stream));
}

}  // namespace ceflib
