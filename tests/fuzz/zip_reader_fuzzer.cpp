// The engine's zip reader on arbitrary bytes: making the reader, listing, opening (with
// and without a password) and reading every file in pieces never crashes, leaks or
// hands out more than a piece, and the position only grows.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cef/cef_records.h"
#include "cef_engine.h"

namespace {

void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  cef_zip_reader_t* zip =
      cef_zip_reader_create(cef_stream_reader_create_for_data(bytes.data(), bytes.size()));
  if (!zip) return 0;
  char16_t password[] = u"pw";
  const cef_string_t passwords[] = {{}, {password, 2, nullptr}};
  std::vector<char> piece(4096);
  int files = 0;
  for (int on = zip->move_to_first_file(zip); on && files < 64; on = zip->move_to_next_file(zip), ++files) {
    cef_string_userfree_utf16_free(zip->get_file_name(zip));
    (void)zip->get_file_size(zip);
    (void)zip->get_file_last_modified(zip);
    for (const cef_string_t& secret : passwords) {
      if (!zip->open_file(zip, &secret)) continue;
      int64_t position = 0;
      // At most 4 MiB of each file: a bomb is read as far as that, in pieces.
      for (int read, n = 0; n < 1024 && (read = zip->read_file(zip, piece.data(), piece.size())) > 0; ++n) {
        Check(read <= static_cast<int>(piece.size()));
        Check(zip->tell(zip) == position + read);
        position += read;
      }
      zip->close_file(zip);
    }
  }
  zip->close(zip);
  Check(!zip->move_to_first_file(zip));
  zip->base.release(&zip->base);
  return 0;
}
