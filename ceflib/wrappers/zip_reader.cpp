#include "ceflib/wrappers/zip_reader.h"

#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

using Zip = cef_zip_reader_t;

bool TCefZipReaderRef::MoveToFirstFile() { return Call<bool>(&Zip::move_to_first_file); }
bool TCefZipReaderRef::MoveToNextFile() { return Call<bool>(&Zip::move_to_next_file); }
bool TCefZipReaderRef::MoveToFile(const ustring& fileName, bool caseSensitive) {
  return Call<bool>(&Zip::move_to_file, fileName, caseSensitive);
}
bool TCefZipReaderRef::Close() { return Call<bool>(&Zip::close); }
ustring TCefZipReaderRef::GetFileName() { return Call<ustring>(&Zip::get_file_name); }
int64_t TCefZipReaderRef::GetFileSize() { return Call<int64_t>(&Zip::get_file_size); }
std::chrono::sys_seconds TCefZipReaderRef::GetFileLastModified() {
  return std::chrono::sys_seconds(std::chrono::seconds(Call<int64_t>(&Zip::get_file_last_modified)));
}
bool TCefZipReaderRef::OpenFile(const ustring& password) { return Call<bool>(&Zip::open_file, password); }
bool TCefZipReaderRef::CloseFile() { return Call<bool>(&Zip::close_file); }
int TCefZipReaderRef::ReadFile(void* buffer, size_t bufferSize) {
  return Call<int>(&Zip::read_file, buffer, bufferSize);
}
int64_t TCefZipReaderRef::Tell() { return Call<int64_t>(&Zip::tell); }
bool TCefZipReaderRef::Eof() { return Call<bool>(&Zip::eof); }

RefPtr<ICefZipReader> TCefZipReaderRef::New(const RefPtr<ICefStreamReader>& stream) {
  if (!stream) return nullptr;
  return CefCallExport<RefPtr<ICefZipReader>>(cef_zip_reader_create, stream);
}

}  // namespace ceflib
