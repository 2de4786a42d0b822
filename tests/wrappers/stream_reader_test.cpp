#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "ceflib/bridges/custom_stream_reader.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace ceflib;

namespace {

// The engine's side of a program stream reader: it holds one reference and calls the
// record's entries.
class EngineSide {
 public:
  explicit EngineSide(const RefPtr<ICefCustomStreamReader>& reader)
      : h_(reinterpret_cast<cef_read_handler_t*>(CefDataOf(reader))) {}
  ~EngineSide() { h_->base.release(&h_->base); }
  EngineSide(const EngineSide&) = delete;
  EngineSide& operator=(const EngineSide&) = delete;

  size_t Read(void* ptr, size_t size, size_t n) { return h_->read(h_, ptr, size, n); }
  int Seek(int64_t offset, int whence) { return h_->seek(h_, offset, whence); }
  int64_t Tell() { return h_->tell(h_); }
  int Eof() { return h_->eof(h_); }

 private:
  cef_read_handler_t* h_;
};

RefPtr<ICefCustomStreamReader> Over(const std::string& text) {
  return Make<TCefCustomStreamReader>(std::make_unique<std::istringstream>(text));
}

TEST(CustomStreamReader, ReadCountsWholeElementsOnly) {
  EngineSide engine(Over("0123456789"));
  char buffer[16] = {};
  ASSERT_EQ(engine.Seek(6, 0), 6);
  EXPECT_EQ(engine.Read(buffer, 1, 10), 4u) << "1 x 10 with 4 left";
  EXPECT_EQ(std::string(buffer, 4), "6789");

  engine.Seek(0, 0);
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(engine.Read(buffer, 4, 3), 2u) << "4 x 3 with 10 left: the partial third is not counted";
  EXPECT_EQ(std::string(buffer, 10), "0123456789") << "but its bytes are read";
  EXPECT_EQ(engine.Tell(), 10);
  EXPECT_EQ(engine.Read(buffer, 1, 1), 0u) << "nothing left";
}

TEST(CustomStreamReader, ReadWithSizeZeroOrHugeCountsStaysSound) {
  EngineSide engine(Over("0123456789"));
  char buffer[16] = {};
  EXPECT_EQ(engine.Read(buffer, 0, 5), 0u) << "element size 0 answers 0";
  EXPECT_EQ(engine.Tell(), 0) << "and reads nothing";
  EXPECT_EQ(engine.Read(nullptr, 1, 5), 0u) << "no buffer, nothing read";
  EXPECT_EQ(engine.Tell(), 0);

  // 4 x n wraps around to 4 in the engine's integer width; the reader must not.
  size_t huge = std::numeric_limits<size_t>::max() / 4 + 2;
  EXPECT_EQ(engine.Read(buffer, 4, huge), 2u) << "all 10 bytes read, two whole elements";
  EXPECT_EQ(engine.Tell(), 10);
}

TEST(CustomStreamReader, SeekAnswersTheNewPosition) {
  EngineSide engine(Over(std::string(200, 'x')));
  EXPECT_EQ(engine.Seek(0, 2), 200) << "from the end: the stream's size";
  EXPECT_EQ(engine.Seek(0, 0), 0);
  EXPECT_EQ(engine.Seek(100, 0), 100) << "a position, not a success code";
  EXPECT_EQ(engine.Seek(-30, 1), 70);
  EXPECT_EQ(engine.Seek(-1, 2), 199);
  EXPECT_EQ(engine.Tell(), 199);
  EXPECT_EQ(engine.Seek(5, 3), -1) << "an unknown origin is refused";
  EXPECT_EQ(engine.Tell(), 199) << "without moving";
}

// A stream buffer at positions beyond 4 GiB.
struct FarBuffer : std::streambuf {
  pos_type seekoff(off_type off, std::ios_base::seekdir, std::ios_base::openmode) override {
    return pos_type(off_type(0x100000000LL) + off);
  }
};

TEST(CustomStreamReader, SeekAnswersTheLow32BitsAndTellAll64) {
  FarBuffer buffer;
  std::istream stream(&buffer);
  EngineSide engine(Make<TCefCustomStreamReader>(stream));
  EXPECT_EQ(engine.Seek(100, 0), 100);
  EXPECT_EQ(engine.Tell(), 0x100000000LL);
}

TEST(CustomStreamReader, EofComparesPositionAndSizeWithoutMoving) {
  EngineSide empty(Over(""));
  EXPECT_EQ(empty.Eof(), 1) << "an empty stream is at its end before any read";

  EngineSide engine(Over("abc"));
  EXPECT_EQ(engine.Eof(), 0);
  char buffer[3];
  engine.Read(buffer, 1, 2);
  EXPECT_EQ(engine.Eof(), 0);
  EXPECT_EQ(engine.Tell(), 2) << "Eof leaves the position where it was";
  engine.Read(buffer, 1, 3);
  EXPECT_EQ(engine.Eof(), 1);
  engine.Seek(1, 0);
  EXPECT_EQ(engine.Eof(), 0) << "a read that hit the end does not spoil later calls";
}

// A stream that notes its destruction.
struct TrackedStream : std::istringstream {
  TrackedStream(const std::string& text, bool* destroyed) : std::istringstream(text), destroyed(destroyed) {}
  ~TrackedStream() override { *destroyed = true; }
  bool* destroyed;
};

TEST(CustomStreamReader, AnOwnedStreamGoesWithTheReaderABorrowedOneStays) {
  bool ownedGone = false;
  {
    EngineSide engine(Make<TCefCustomStreamReader>(std::make_unique<TrackedStream>("own", &ownedGone)));
    EXPECT_FALSE(ownedGone);
  }
  EXPECT_TRUE(ownedGone) << "freed when the engine released the reader";

  bool borrowedGone = false;
  TrackedStream borrowed("borrowed", &borrowedGone);
  {
    EngineSide engine(Make<TCefCustomStreamReader>(borrowed));
    char buffer[4];
    engine.Read(buffer, 1, 4);
  }
  EXPECT_FALSE(borrowedGone);
  EXPECT_EQ(borrowed.tellg(), 4) << "left to its owner, still usable";
}

#if defined(_WIN32)
// Whether another opener gets the file with this access, sharing everything itself.
bool OthersCanOpen(const std::filesystem::path& path, DWORD access) {
  HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}
#endif

TEST(CustomStreamReader, ReadsANamedFileAndRefusesAMissingOne) {
  std::filesystem::path path = std::filesystem::temp_directory_path() / "ceflib_reader_test.bin";
  std::ofstream(path, std::ios::binary) << "file";
  {
    EngineSide engine(Make<TCefCustomStreamReader>(path.u16string()));
    char buffer[16] = {};
    EXPECT_EQ(engine.Read(buffer, 1, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer), "file");
    EXPECT_EQ(engine.Eof(), 1);
    EXPECT_EQ(engine.Seek(1, 0), 1) << "the file seeks";
#if defined(_WIN32)
    EXPECT_TRUE(OthersCanOpen(path, GENERIC_READ)) << "others may read the file the reader holds";
    EXPECT_FALSE(OthersCanOpen(path, GENERIC_WRITE)) << "but not write it";
#endif
  }
#if defined(_WIN32)
  EXPECT_TRUE(OthersCanOpen(path, GENERIC_WRITE)) << "the reader gave the file back";
#endif
  std::filesystem::remove(path);
  EXPECT_FALSE(std::filesystem::exists(path)) << "the reader closed the file";

  try {
    Make<TCefCustomStreamReader>(path.u16string());
    ADD_FAILURE() << "a missing file must raise";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("ceflib_reader_test.bin"), std::string::npos) << e.what();
  }
}

// A stream buffer that, in the middle of a read, lets another thread ask the reader
// for its position and notes whether that thread got through.
struct ReadObserver : std::streambuf {
  std::function<void()> duringRead;
  std::streamsize xsgetn(char*, std::streamsize) override {
    duringRead();
    return 0;
  }
};

TEST(CustomStreamReader, OperationsFromOtherThreadsWaitForARunningRead) {
  ReadObserver buffer;
  std::istream stream(&buffer);
  EngineSide engine(Make<TCefCustomStreamReader>(stream));
  std::atomic<bool> told{false};
  bool toldDuringRead = true;
  std::thread other;
  buffer.duringRead = [&] {
    other = std::thread([&] {
      engine.Tell();
      told = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    toldDuringRead = told;
  };
  char byte;
  engine.Read(&byte, 1, 1);
  other.join();
  EXPECT_FALSE(toldDuringRead) << "the reader's lock serialises its operations";
  EXPECT_TRUE(told);
}

}  // namespace
