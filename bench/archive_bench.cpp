// The engine's archive readers: walking a 20 MB XML document (its memory stream made
// before the timing, as libxml2's input is ready in memory; the stream's copy has a row of
// its own) and reading every file of a 64 MiB deflated zip archive through the binding against the same work
// through the engine's C records, and the C records against the libraries underneath (libxml2's text reader
// called directly, zlib inflating the same entries).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/xml_reader.h"
#include "ceflib/wrappers/zip_reader.h"

#if defined(CEF_ENGINE_XML_LIBXML2)
#include <libxml/xmlreader.h>
#endif

using namespace ceflib;

namespace {

template <class Record>
void Drop(Record* record) {
  if (record) record->base.release(&record->base);
}

void FreeText(cef_string_userfree_t text) {
  if (text) cef_string_userfree_utf16_free(text);
}

// ---- XML: every node's name and value ---------------------------------------------------

const std::string& XmlDocument() {
  static const std::string document = [] {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
    for (int i = 0; xml.size() < 20 * 1000 * 1000; ++i) {
      const std::string n = std::to_string(i);
      xml += "  <item id=\"" + n + "\" kind=\"k" + std::to_string(i % 7) + "\"><name>Item " + n +
             "</name><value>Text of item " + n + " &amp; its notes</value></item>\n";
    }
    return xml + "</catalog>\n";
  }();
  return document;
}

cef_stream_reader_t* XmlStream() {
  const std::string& xml = XmlDocument();
  return cef_stream_reader_create_for_data(const_cast<char*>(xml.data()), xml.size());
}

void XmlWalk_Binding(benchmark::State& state) {
  const std::string& xml = XmlDocument();
  size_t nodes = 0;
  for (auto _ : state) {
    state.PauseTiming();  // the input is ready before the walk, as libxml2's is below
    auto stream = TCefStreamReaderRef::CreateForData(const_cast<char*>(xml.data()), xml.size());
    state.ResumeTiming();
    auto reader = TCefXmlReaderRef::New(stream, XML_ENCODING_NONE, u"");
    if (!reader) return state.SkipWithError("the engine made no XML reader");
    nodes = 0;
    while (reader->MoveToNextNode()) {
      benchmark::DoNotOptimize(reader->GetQualifiedName());
      benchmark::DoNotOptimize(reader->GetValue());
      ++nodes;
    }
    reader->Close();
  }
  state.counters["nodes"] = static_cast<double>(nodes);
  state.SetLabel("ratio<=1.3");
}
BENCHMARK(XmlWalk_Binding)->Unit(benchmark::kMillisecond);

void XmlWalk_Raw(benchmark::State& state) {
  size_t nodes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cef_stream_reader_t* stream = XmlStream();
    state.ResumeTiming();
    cef_xml_reader_t* reader = cef_xml_reader_create(stream, XML_ENCODING_NONE, nullptr);
    if (!reader) return state.SkipWithError("the engine made no XML reader");
    nodes = 0;
    while (reader->move_to_next_node(reader)) {
      FreeText(reader->get_qualified_name(reader));
      FreeText(reader->get_value(reader));
      ++nodes;
    }
    reader->close(reader);
    Drop(reader);
  }
  state.counters["nodes"] = static_cast<double>(nodes);
#if defined(CEF_ENGINE_XML_LIBXML2)
  state.SetLabel("vs=Libxml2 ratio<=1.3");
#endif
}
BENCHMARK(XmlWalk_Raw)->Unit(benchmark::kMillisecond);

// What the walks above leave out: the memory stream's copy of the document.
void XmlStream_Copy(benchmark::State& state) {
  for (auto _ : state) Drop(XmlStream());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * XmlDocument().size()));
}
BENCHMARK(XmlStream_Copy)->Unit(benchmark::kMillisecond);

#if defined(CEF_ENGINE_XML_LIBXML2)
// What the engine's reader does underneath: libxml2's text reader over the same bytes,
// each name and value turned into a UTF-16 string as the engine hands them out.
void XmlWalk_Libxml2(benchmark::State& state) {
  const std::string& xml = XmlDocument();
  size_t nodes = 0;
  for (auto _ : state) {
    xmlTextReaderPtr reader =
        xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET);
    nodes = 0;
    while (xmlTextReaderRead(reader) == 1) {
      for (const xmlChar* text : {xmlTextReaderConstName(reader), xmlTextReaderConstValue(reader)}) {
        benchmark::DoNotOptimize(text ? CefFromUtf8(reinterpret_cast<const char*>(text)) : ustring());
      }
      ++nodes;
    }
    xmlFreeTextReader(reader);
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(XmlWalk_Libxml2)->Unit(benchmark::kMillisecond);
#endif

// ---- zip: every file read in 64 KiB pieces ----------------------------------------------

constexpr int kZipFiles = 64;
constexpr size_t kZipFileSize = 1024 * 1024;
constexpr size_t kPiece = 64 * 1024;

struct Entry {
  std::string name, deflated;
  uint32_t crc = 0;
  uint32_t offset = 0;
};

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// 64 files of 1 MiB text each (words from a small generator, so that deflate has work to
// do and the archive is not trivially small), stored deflated.
struct ZipArchive {
  std::vector<Entry> entries;
  std::string bytes;

  ZipArchive() {
    uint32_t seed = 12345;
    for (int i = 0; i < kZipFiles; ++i) {
      std::string data;
      while (data.size() < kZipFileSize) {
        seed = seed * 1103515245 + 12345;
        data += "word" + std::to_string((seed >> 16) % 5000) + (seed % 11 ? " " : "\n");
      }
      data.resize(kZipFileSize);
      Entry entry{"file" + std::to_string(i) + ".txt", RawDeflate(data)};
      entry.crc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
      entry.offset = static_cast<uint32_t>(bytes.size());
      Put32(bytes, 0x04034b50);
      for (uint32_t v : {20u, 0u, 8u, 0u, 0x21u}) Put16(bytes, v);  // version, flags, method, time, date
      Put32(bytes, entry.crc);
      Put32(bytes, static_cast<uint32_t>(entry.deflated.size()));
      Put32(bytes, static_cast<uint32_t>(kZipFileSize));
      Put16(bytes, static_cast<uint32_t>(entry.name.size()));
      Put16(bytes, 0);
      bytes += entry.name + entry.deflated;
      entries.push_back(std::move(entry));
    }
    const auto directory = static_cast<uint32_t>(bytes.size());
    for (const Entry& entry : entries) {
      Put32(bytes, 0x02014b50);
      for (uint32_t v : {20u, 20u, 0u, 8u, 0u, 0x21u})
        Put16(bytes, v);  // made by, needed, flags, method, time, date
      Put32(bytes, entry.crc);
      Put32(bytes, static_cast<uint32_t>(entry.deflated.size()));
      Put32(bytes, static_cast<uint32_t>(kZipFileSize));
      Put16(bytes, static_cast<uint32_t>(entry.name.size()));
      for (int i = 0; i < 4; ++i) Put16(bytes, 0);  // extra, comment, disk, internal attributes
      Put32(bytes, 0);                              // external attributes
      Put32(bytes, entry.offset);
      bytes += entry.name;
    }
    const auto size = static_cast<uint32_t>(bytes.size()) - directory;
    Put32(bytes, 0x06054b50);
    for (uint32_t v : {0u, 0u, static_cast<uint32_t>(kZipFiles), static_cast<uint32_t>(kZipFiles)})
      Put16(bytes, v);
    Put32(bytes, size);
    Put32(bytes, directory);
    Put16(bytes, 0);
  }
};

ZipArchive& Archive() {
  static ZipArchive archive;
  return archive;
}

void CountBytes(benchmark::State& state, int64_t bytes) {
  if (bytes != int64_t{kZipFiles} * static_cast<int64_t>(kZipFileSize))
    state.SkipWithError("the archive's files did not read whole");
  state.SetBytesProcessed(state.iterations() * bytes);
}

void ZipReadAll_Binding(benchmark::State& state) {
  std::string& zip = Archive().bytes;
  std::vector<char> piece(kPiece);
  int64_t bytes = 0;
  for (auto _ : state) {
    auto reader = TCefZipReaderRef::New(TCefStreamReaderRef::CreateForData(zip.data(), zip.size()));
    if (!reader) return state.SkipWithError("the engine made no zip reader");
    bytes = 0;
    for (bool more = reader->MoveToFirstFile(); more; more = reader->MoveToNextFile()) {
      if (!reader->OpenFile(u"")) return state.SkipWithError("a file did not open");
      while (const int n = reader->ReadFile(piece.data(), piece.size())) {
        if (n < 0) return state.SkipWithError("a read failed");
        bytes += n;
      }
      reader->CloseFile();
    }
    reader->Close();
  }
  CountBytes(state, bytes);
  state.SetLabel("ratio<=1.05");
}
BENCHMARK(ZipReadAll_Binding)->Unit(benchmark::kMillisecond);

void ZipReadAll_Raw(benchmark::State& state) {
  std::string& zip = Archive().bytes;
  std::vector<char> piece(kPiece);
  int64_t bytes = 0;
  for (auto _ : state) {
    cef_zip_reader_t* reader =
        cef_zip_reader_create(cef_stream_reader_create_for_data(zip.data(), zip.size()));
    if (!reader) return state.SkipWithError("the engine made no zip reader");
    bytes = 0;
    for (int more = reader->move_to_first_file(reader); more; more = reader->move_to_next_file(reader)) {
      if (!reader->open_file(reader, nullptr)) return state.SkipWithError("a file did not open");
      while (const int n = reader->read_file(reader, piece.data(), piece.size())) {
        if (n < 0) return state.SkipWithError("a read failed");
        bytes += n;
      }
      reader->close_file(reader);
    }
    reader->close(reader);
    Drop(reader);
  }
  CountBytes(state, bytes);
  state.SetLabel("vs=Zlib");
}
BENCHMARK(ZipReadAll_Raw)->Unit(benchmark::kMillisecond);

// zlib inflating the same entries in the same pieces, without any archive reading.
void ZipReadAll_Zlib(benchmark::State& state) {
  const ZipArchive& archive = Archive();
  std::vector<char> piece(kPiece);
  int64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const Entry& entry : archive.entries) {
      z_stream z{};
      inflateInit2(&z, -15);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(entry.deflated.data()));
      z.avail_in = static_cast<uInt>(entry.deflated.size());
      int status = Z_OK;
      while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(piece.data());
        z.avail_out = static_cast<uInt>(piece.size());
        status = inflate(&z, Z_NO_FLUSH);
        bytes += static_cast<int64_t>(piece.size() - z.avail_out);
      }
      inflateEnd(&z);
    }
  }
  CountBytes(state, bytes);
}
BENCHMARK(ZipReadAll_Zlib)->Unit(benchmark::kMillisecond);

}  // namespace
