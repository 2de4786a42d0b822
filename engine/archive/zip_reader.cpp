// The zip reader: the archive's directory and local headers read here, deflated data
// inflated by zlib, traditional (PKWARE) encryption undone here. Only the directory is
// held in memory; a file is read in the pieces the program asks for, through one input
// buffer of fixed size, so memory stays bounded whatever an entry claims or expands to.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cef/cef_records.h"
#include "cef_engine.h"
#include "dom/record_entry.h"
#include "objects/engine_object.h"
#include "strings/text.h"
#include "strings/utf.h"

namespace cef_engine::archive {
namespace {

constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kZip64EndOfDirectory = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr uint32_t kDirectoryEntry = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kLongestComment = 0xFFFF;
constexpr size_t kInputPiece = 64 * 1024;

// General purpose flags and methods.
constexpr uint16_t kEncrypted = 0x0001;
constexpr uint16_t kDataDescriptor = 0x0008;
constexpr uint16_t kStrongEncryption = 0x0040;
constexpr uint16_t kUtf8Name = 0x0800;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }
uint64_t U64(const uint8_t* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

// The upper half of code page 437, in which names without the UTF-8 flag are written.
constexpr char16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

std::u16string DecodeName(std::string_view bytes, bool utf8) {
  std::u16string name;
  if (utf8) {
    utf::Transcode(bytes, name);
  } else {
    for (unsigned char c : bytes) name += c < 0x80 ? char16_t(c) : kCp437[c - 0x80];
  }
  return name;
}

// A name a program could not use as a relative path inside a folder of its own: empty,
// absolute, with a drive, a NUL or a ".." segment.
bool EscapesItsFolder(const std::u16string& name) {
  if (name.empty() || name[0] == u'/' || name[0] == u'\\' || name.find(u'\0') != std::u16string::npos)
    return true;
  if (name.size() >= 2 && name[1] == u':') return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(u"/\\", start);
    if (end == std::u16string::npos) end = name.size();
    if (name.compare(start, end - start, u"..") == 0) return true;
    start = end + 1;
  }
  return false;
}

// A DOS date and time, read as UTC: the archive records no zone.
time_t FromDos(uint16_t date, uint16_t time) {
  int year = 1980 + (date >> 9), month = (date >> 5) & 15, day = date & 31;
  month = std::clamp(month, 1, 12);
  day = std::max(day, 1);
  // Days from the civil date (proleptic Gregorian), as in Howard Hinnant's algorithm.
  year -= month <= 2;
  const int era = year / 400;
  const int yoe = year - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = int64_t{era} * 146097 + doe - 719468;
  return static_cast<time_t>(days * 86400 + (time >> 11) * 3600 + ((time >> 5) & 63) * 60 + (time & 31) * 2);
}

struct FileEntry {
  std::u16string name;
  uint16_t flags = 0, method = 0, dosTime = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0, size = 0, localOffset = 0;
  time_t modified = 0;
};

// The program's stream, read at absolute positions.
class Source {
 public:
  explicit Source(ProgramRef<cef_stream_reader_t> stream) : stream_(std::move(stream)) {}

  std::optional<int64_t> Size() {
    if (!stream_->seek || !stream_->tell || stream_->seek(stream_.get(), 0, SEEK_END) != 0)
      return std::nullopt;
    const int64_t size = stream_->tell(stream_.get());
    return size < 0 ? std::nullopt : std::optional<int64_t>(size);
  }
  // Reads exactly n bytes at `offset`.
  bool ReadAt(uint64_t offset, void* out, size_t n) {
    if (offset > static_cast<uint64_t>(INT64_MAX) || !stream_->read ||
        stream_->seek(stream_.get(), static_cast<int64_t>(offset), SEEK_SET) != 0)
      return false;
    size_t got = 0;
    while (got < n) {
      const size_t read = stream_->read(stream_.get(), static_cast<char*>(out) + got, 1, n - got);
      if (read == 0) return false;
      got += read;
    }
    return true;
  }
  void Close() { stream_.Reset(); }
  bool Open() const { return static_cast<bool>(stream_); }

 private:
  ProgramRef<cef_stream_reader_t> stream_;
};

// Traditional PKWARE decryption: three keys updated by every plain byte.
class Decryption {
 public:
  explicit Decryption(std::string_view password) {
    for (unsigned char c : password) Update(c);
  }
  void Decrypt(uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
      data[i] ^= static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
      Update(data[i]);
    }
  }

 private:
  static uint32_t Crc(uint32_t crc, uint8_t c) {
    return (crc >> 8) ^ static_cast<uint32_t>(get_crc_table()[(crc ^ c) & 0xFF]);
  }
  void Update(uint8_t c) {
    keys_[0] = Crc(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = Crc(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  std::array<uint32_t, 3> keys_{305419896, 591751049, 878082192};
};

// Reads the directory at the archive's end; nullopt when there is none or it does not
// fit inside the archive. Entries whose names escape their folder are left out.
std::optional<std::vector<FileEntry>> ReadDirectory(Source& source, uint64_t archiveSize) {
  const size_t tailSize =
      static_cast<size_t>(std::min<uint64_t>(archiveSize, kEndRecordSize + kLongestComment));
  if (tailSize < kEndRecordSize) return std::nullopt;
  std::vector<uint8_t> tail(tailSize);
  const uint64_t tailStart = archiveSize - tailSize;
  if (!source.ReadAt(tailStart, tail.data(), tailSize)) return std::nullopt;
  size_t end = tailSize - kEndRecordSize + 1;
  do {
    --end;
  } while (end > 0 &&
           !(U32(&tail[end]) == kEndOfDirectory && end + kEndRecordSize + U16(&tail[end + 20]) <= tailSize));
  if (U32(&tail[end]) != kEndOfDirectory) return std::nullopt;
  uint64_t directorySize = U32(&tail[end + 12]);
  uint64_t directoryOffset = U32(&tail[end + 16]);
  if ((directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF || U16(&tail[end + 10]) == 0xFFFF) &&
      end >= 20 && U32(&tail[end - 20]) == kZip64Locator) {
    uint8_t record[56];
    if (!source.ReadAt(U64(&tail[end - 12]), record, sizeof record) || U32(record) != kZip64EndOfDirectory)
      return std::nullopt;
    directorySize = U64(record + 40);
    directoryOffset = U64(record + 48);
  }
  if (directoryOffset > archiveSize || directorySize > archiveSize - directoryOffset) return std::nullopt;
  std::vector<uint8_t> directory(static_cast<size_t>(directorySize));
  if (!source.ReadAt(directoryOffset, directory.data(), directory.size())) return std::nullopt;

  std::vector<FileEntry> entries;
  for (size_t at = 0; at + 46 <= directory.size();) {
    const uint8_t* p = &directory[at];
    if (U32(p) != kDirectoryEntry) return std::nullopt;
    const size_t nameLength = U16(p + 28), extraLength = U16(p + 30), commentLength = U16(p + 32);
    if (at + 46 + nameLength + extraLength + commentLength > directory.size()) return std::nullopt;
    FileEntry e;
    e.flags = U16(p + 8);
    e.method = U16(p + 10);
    e.dosTime = U16(p + 12);
    e.modified = FromDos(U16(p + 14), e.dosTime);
    e.crc = U32(p + 16);
    e.compressedSize = U32(p + 20);
    e.size = U32(p + 24);
    e.localOffset = U32(p + 42);
    e.name = DecodeName({reinterpret_cast<const char*>(p + 46), nameLength}, e.flags & kUtf8Name);
    // Extra fields: 64-bit sizes and offset where the 32-bit ones say so, and the
    // modification time in UTC seconds when the archiver wrote it.
    for (const uint8_t* x = p + 46 + nameLength; x + 4 <= p + 46 + nameLength + extraLength;) {
      const uint16_t id = U16(x), length = U16(x + 2);
      const uint8_t* data = x + 4;
      const uint8_t* next = data + length;
      if (next > p + 46 + nameLength + extraLength) break;
      if (id == 0x0001) {
        for (uint64_t* field : {&e.size, &e.compressedSize, &e.localOffset}) {
          if (*field != 0xFFFFFFFF) continue;
          if (data + 8 > next) break;
          *field = U64(data);
          data += 8;
        }
      } else if (id == 0x5455 && length >= 5 && (data[0] & 1)) {
        e.modified = static_cast<time_t>(static_cast<int32_t>(U32(data + 1)));
      }
      x = next;
    }
    at += 46 + nameLength + extraLength + commentLength;
    if (!EscapesItsFolder(e.name)) entries.push_back(std::move(e));
  }
  return entries;
}

// The open file: where its data is, how far it has been read, and its inflater.
struct OpenedFile {
  const FileEntry* entry = nullptr;
  uint64_t next = 0;      // archive offset of the next compressed byte
  uint64_t left = 0;      // compressed bytes not read yet
  uint64_t produced = 0;  // uncompressed bytes handed out
  uint32_t crc = 0;
  bool finished = false, failed = false, inflating = false;
  std::optional<Decryption> decryption;
  z_stream z{};
  std::vector<uint8_t> input;
};

class ZipReader final : public EngineObject<cef_zip_reader_t> {
 public:
  using Record = cef_zip_reader_t;

  ZipReader(Source source, uint64_t archiveSize, std::vector<FileEntry> entries)
      : source_(std::move(source)), archive_size_(archiveSize), entries_(std::move(entries)) {
    auto& r = *record();
    r.move_to_first_file = Entry<&ZipReader::MoveToFirstFile>;
    r.move_to_next_file = Entry<&ZipReader::MoveToNextFile>;
    r.move_to_file = Entry<&ZipReader::MoveToFile>;
    r.close = Entry<&ZipReader::Close>;
    r.get_file_name = Entry<&ZipReader::GetFileName>;
    r.get_file_size = Entry<&ZipReader::GetFileSize>;
    r.get_file_last_modified = Entry<&ZipReader::GetFileLastModified>;
    r.open_file = Entry<&ZipReader::OpenFile>;
    r.close_file = Entry<&ZipReader::CloseFile>;
    r.read_file = Entry<&ZipReader::ReadFile>;
    r.tell = Entry<&ZipReader::Tell>;
    r.eof = Entry<&ZipReader::Eof>;
  }
  ~ZipReader() override { EndFile(); }

  int MoveToFirstFile() { return MoveTo(0); }
  int MoveToNextFile() { return current_ ? MoveTo(*current_ + 1) : 0; }
  int MoveToFile(const cef_string_t* name, int caseSensitive) {
    const auto wanted = ViewOf(name);
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (size_t i = 0; i < entries_.size(); ++i) {
      const auto& have = entries_[i].name;
      if (have.size() == wanted.size() &&
          std::equal(have.begin(), have.end(), wanted.begin(),
                     [&](char16_t a, char16_t b) { return caseSensitive ? a == b : fold(a) == fold(b); }))
        return MoveTo(i);
    }
    return 0;
  }
  int Close() {
    std::lock_guard lock(mutex_);
    EndFile();
    source_.Close();
    entries_.clear();
    current_.reset();
    return 1;
  }
  cef_string_userfree_t GetFileName() {
    const FileEntry* e = Current();
    return e ? NewUserfree(e->name) : nullptr;
  }
  int64_t GetFileSize() {
    const FileEntry* e = Current();
    return e ? static_cast<int64_t>(std::min<uint64_t>(e->size, INT64_MAX)) : 0;
  }
  time_t GetFileLastModified() {
    const FileEntry* e = Current();
    return e ? e->modified : 0;
  }
  int OpenFile(const cef_string_t* password);
  int CloseFile() {
    std::lock_guard lock(mutex_);
    const bool wasOpen = file_.has_value();
    EndFile();
    return wasOpen ? 1 : 0;
  }
  int ReadFile(void* buffer, size_t bufferSize);
  int64_t Tell() {
    std::lock_guard lock(mutex_);
    return file_ ? static_cast<int64_t>(file_->produced) : 0;
  }
  int Eof() {
    std::lock_guard lock(mutex_);
    return file_ && file_->finished ? 1 : 0;
  }

 private:
  const FileEntry* Current() {
    std::lock_guard lock(mutex_);
    return current_ ? &entries_[*current_] : nullptr;
  }
  int MoveTo(size_t index) {
    std::lock_guard lock(mutex_);
    EndFile();
    if (index >= entries_.size()) {
      current_.reset();
      return 0;
    }
    current_ = index;
    return 1;
  }
  void EndFile() {
    if (file_ && file_->inflating) inflateEnd(&file_->z);
    file_.reset();
  }
  // Reads up to n compressed bytes into `out`, decrypted; the count read, 0 at the end
  // of the file's data, -1 when the archive ends early.
  long Take(uint8_t* out, size_t n) {
    n = static_cast<size_t>(std::min<uint64_t>(n, file_->left));
    if (n == 0) return 0;
    if (!source_.ReadAt(file_->next, out, n)) return -1;
    if (file_->decryption) file_->decryption->Decrypt(out, n);
    file_->next += n;
    file_->left -= n;
    return static_cast<long>(n);
  }
  int Produce(uint8_t* out, size_t n);
  // Once the data has ended, or the size the directory gives has been handed out (the
  // data must end there), the file must have given exactly that size and its checksum.
  void Settle() {
    OpenedFile& f = *file_;
    if (f.failed || (!f.finished && f.produced != f.entry->size)) return;
    if (!f.finished && f.inflating && Produce(nullptr, 0) < 0) {
      f.failed = true;
      return;
    }
    f.finished = f.produced == f.entry->size && f.crc == f.entry->crc;
    f.failed = !f.finished;
  }

  std::mutex mutex_;
  Source source_;
  uint64_t archive_size_;
  std::vector<FileEntry> entries_;
  std::optional<size_t> current_;
  std::optional<OpenedFile> file_;
};

int ZipReader::OpenFile(const cef_string_t* password) {
  std::lock_guard lock(mutex_);
  EndFile();
  if (!current_ || !source_.Open()) return 0;
  const FileEntry& e = entries_[*current_];
  uint8_t header[30];
  if (e.method != kStored && e.method != kDeflated) return 0;  // other methods are not supported
  if ((e.flags & kStrongEncryption) || !source_.ReadAt(e.localOffset, header, sizeof header) ||
      U32(header) != kLocalHeader)
    return 0;
  const uint64_t data = e.localOffset + sizeof header + U16(header + 26) + U16(header + 28);
  if (data > archive_size_ || e.compressedSize > archive_size_ - data) return 0;
  OpenedFile& file = file_.emplace();
  file.entry = &e;
  file.next = data;
  file.left = e.compressedSize;
  if (e.flags & kEncrypted) {
    std::string secret;
    utf::Transcode(ViewOf(password), secret);
    file.decryption.emplace(secret);
    uint8_t check[12];
    // The twelfth byte of the decrypted header repeats the top byte of the checksum (or
    // of the time, when the sizes follow the data): a wrong password is refused here.
    if (secret.empty() || Take(check, sizeof check) != sizeof check ||
        check[11] != ((e.flags & kDataDescriptor) ? e.dosTime >> 8 : e.crc >> 24)) {
      file_.reset();
      return 0;
    }
  }
  if (e.method == kDeflated) {
    if (inflateInit2(&file.z, -MAX_WBITS) != Z_OK) {
      file_.reset();
      return 0;
    }
    file.inflating = true;
    file.input.resize(kInputPiece);
  }
  Settle();
  return 1;
}

int ZipReader::ReadFile(void* buffer, size_t bufferSize) {
  std::lock_guard lock(mutex_);
  if (!file_ || file_->failed || !buffer) return -1;
  if (file_->finished || bufferSize == 0) return 0;
  // The answer is an int: a larger buffer is filled up to INT_MAX bytes.
  const size_t n = std::min<size_t>(bufferSize, INT_MAX);
  const int produced = Produce(static_cast<uint8_t*>(buffer), n);
  if (produced < 0) {
    file_->failed = true;
    return -1;
  }
  file_->crc =
      static_cast<uint32_t>(crc32(file_->crc, static_cast<uint8_t*>(buffer), static_cast<uInt>(produced)));
  file_->produced += static_cast<uint64_t>(produced);
  Settle();
  return file_->failed ? -1 : produced;
}

// Fills up to n bytes, never more than the directory says the file holds.
int ZipReader::Produce(uint8_t* out, size_t n) {
  OpenedFile& f = *file_;
  const uint64_t allowed = f.entry->size - std::min(f.produced, f.entry->size);
  n = static_cast<size_t>(std::min<uint64_t>(n, allowed));
  if (!f.inflating) {
    if (n == 0) return 0;
    const long got = Take(out, n);
    return got <= 0 ? -1 : static_cast<int>(got);
  }
  // At the size the directory gives: the data must end here; a byte more is a lie.
  uint8_t probe;
  const bool probing = n == 0;
  f.z.next_out = probing ? &probe : out;
  f.z.avail_out = probing ? 1 : static_cast<uInt>(n);
  while (f.z.avail_out > 0) {
    if (f.z.avail_in == 0) {
      const long got = Take(f.input.data(), f.input.size());
      if (got < 0) return -1;
      f.z.next_in = f.input.data();
      f.z.avail_in = static_cast<uInt>(got);
    }
    const int result = inflate(&f.z, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      f.finished = true;
      break;
    }
    if (result != Z_OK) return -1;  // corrupt data, or the archive's data ends early
  }
  if (probing) {
    if (f.z.avail_out == 0) return -1;
    f.finished = true;
    return 0;
  }
  return static_cast<int>(n - f.z.avail_out);
}

}  // namespace
}  // namespace cef_engine::archive

extern "C" cef_zip_reader_t* cef_zip_reader_create(cef_stream_reader_t* stream) {
  using namespace cef_engine::archive;
  Source source(cef_engine::ProgramRef<cef_stream_reader_t>::Adopt(stream));
  if (!source.Open()) return nullptr;
  const auto size = source.Size();
  if (!size) return nullptr;
  auto entries = ReadDirectory(source, static_cast<uint64_t>(*size));
  if (!entries) return nullptr;
  return cef_engine::NewEngineRecord<ZipReader>(std::move(source), static_cast<uint64_t>(*size),
                                                std::move(*entries));
}
