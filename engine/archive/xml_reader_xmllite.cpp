// The XML reader on XmlLite (Windows; xmllite.dll is part of every Windows since Vista,
// and of Wine). XmlLite gives the node under its cursor; the record's members are
// answered from copies of those nodes (archive/xml_node_reader.h). Document type
// declarations are read, so entities declared inside the document are expanded (XmlLite
// has no entity reference nodes), within XmlLite's expansion limit; nothing outside the
// document is fetched.
#include <objidl.h>
#include <windows.h>
#include <wrl/client.h>
#include <xmllite.h>

#include <atomic>
#include <cstdio>

#include "archive/xml_node_reader.h"
#include "cef_engine.h"

namespace cef_engine::archive {
namespace {

using Microsoft::WRL::ComPtr;

// mingw-w64 has XmlLite's header but no import library: its two entries are looked up
// once for the process, and the library stays loaded.
struct XmlLite {
  using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
  using CreateInput = HRESULT(WINAPI*)(IUnknown*, IMalloc*, LPCWSTR, BOOL, LPCWSTR, IUnknown**);
  CreateReader createReader = nullptr;
  CreateInput createInput = nullptr;

  static const XmlLite& Get() {
    static const XmlLite library = [] {
      XmlLite lib;
      // Only the system's copy, never one planted beside the program.
      if (HMODULE module = LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        lib.createReader = Entry<CreateReader>(module, "CreateXmlReader");
        lib.createInput = Entry<CreateInput>(module, "CreateXmlReaderInputWithEncodingName");
      }
      return lib;
    }();
    return library;
  }
  template <class Fn>
  static Fn Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

// The COM object XmlLite asks for around this engine's COM classes: only what is listed.
template <class Interface, class... Also>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface) || ((iid == __uuidof(Also)) || ...)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

// The program's stream as the COM stream XmlLite pulls the document from.
class ProgramStream final : public ComObject<IStream, ISequentialStream> {
 public:
  explicit ProgramStream(ProgramRef<cef_stream_reader_t> stream) : stream_(std::move(stream)) {}

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) noexcept override {
    // A short read means the end to XmlLite; the program's stream may give less before it.
    size_t got = 0;
    while (got < size) {
      const size_t more = PullStream(stream_.get(), static_cast<char*>(buffer) + got, size - got);
      if (more == 0) break;
      got += more;
    }
    if (read) *read = static_cast<ULONG>(got);
    return got < size ? S_FALSE : S_OK;
  }
  // XmlLite only reads.
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) noexcept override { return E_NOTIMPL; }

  // Releases the program's stream; later reads find the end.
  void Drop() { stream_.Reset(); }

 private:
  ProgramRef<cef_stream_reader_t> stream_;
};

// Refuses every external entity and document type: nothing outside the document is read.
// One for the process, never freed (XmlLite's references to it are not counted).
class NoResolver final : public IXmlResolver {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = iid == __uuidof(IUnknown) || iid == __uuidof(IXmlResolver) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 1; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
  HRESULT STDMETHODCALLTYPE ResolveUri(LPCWSTR, LPCWSTR, LPCWSTR, IUnknown** input) noexcept override {
    if (input) *input = nullptr;
    return S_OK;
  }
};

const wchar_t* EncodingName(int encodingType) {
  switch (encodingType) {
    case XML_ENCODING_UTF8:
      return L"utf-8";
    case XML_ENCODING_UTF16LE:
      return L"utf-16";
    case XML_ENCODING_UTF16BE:
      return L"unicodeFFFE";
    case XML_ENCODING_ASCII:
      return L"us-ascii";
    default:
      return nullptr;  // as the document says, by its byte-order mark or declaration
  }
}

// XmlLite's error codes in words.
std::string Message(HRESULT result) {
  struct Known {
    HRESULT code;
    const char* text;
  };
  static constexpr Known kKnown[] = {
      {static_cast<HRESULT>(MX_E_INPUTEND), "Premature end of data"},
      {static_cast<HRESULT>(MX_E_ENCODING), "Unsupported encoding"},
      {static_cast<HRESULT>(MX_E_ENCODINGSWITCH), "Unsupported encoding"},
      {static_cast<HRESULT>(MX_E_ENCODINGSIGNATURE), "Unsupported encoding"},
      {static_cast<HRESULT>(WC_E_WHITESPACE), "White space expected"},
      {static_cast<HRESULT>(WC_E_SEMICOLON), "';' expected"},
      {static_cast<HRESULT>(WC_E_GREATERTHAN), "'>' expected"},
      {static_cast<HRESULT>(WC_E_QUOTE), "Quote expected"},
      {static_cast<HRESULT>(WC_E_EQUAL), "'=' expected"},
      {static_cast<HRESULT>(WC_E_LESSTHAN), "'<' not allowed here"},
      {static_cast<HRESULT>(WC_E_XMLCHARACTER), "Character not allowed in XML"},
      {static_cast<HRESULT>(WC_E_NAMECHARACTER), "Invalid name"},
      {static_cast<HRESULT>(WC_E_NAME), "Invalid name"},
      {static_cast<HRESULT>(NC_E_QNAMECHARACTER), "Invalid name"},
      {static_cast<HRESULT>(WC_E_SYNTAX), "Syntax error"},
      {static_cast<HRESULT>(WC_E_CDSECT), "Malformed CDATA section"},
      {static_cast<HRESULT>(WC_E_CDSECTEND), "Malformed CDATA section"},
      {static_cast<HRESULT>(WC_E_COMMENT), "Malformed comment"},
      {static_cast<HRESULT>(WC_E_PI), "Malformed processing instruction"},
      {static_cast<HRESULT>(WC_E_DECLDOCTYPE), "Malformed declaration"},
      {static_cast<HRESULT>(WC_E_DECLENTITY), "Malformed declaration"},
      {static_cast<HRESULT>(WC_E_DECLELEMENT), "Malformed declaration"},
      {static_cast<HRESULT>(WC_E_DECLATTLIST), "Malformed declaration"},
      {static_cast<HRESULT>(WC_E_ROOTELEMENT), "Missing root element or content after it"},
      {static_cast<HRESULT>(WC_E_ELEMENTMATCH), "Opening and ending tag mismatch"},
      {static_cast<HRESULT>(WC_E_UNIQUEATTRIBUTE), "Attribute redefined"},
      {static_cast<HRESULT>(WC_E_UNDECLAREDENTITY), "Entity not defined"},
      {static_cast<HRESULT>(WC_E_NORECURSION), "Entity refers to itself"},
      {static_cast<HRESULT>(WC_E_XMLDECL), "Malformed XML declaration"},
      {static_cast<HRESULT>(WC_E_LEADINGXML), "Malformed XML declaration"},
      {static_cast<HRESULT>(NC_E_UNDECLAREDPREFIX), "Namespace prefix not defined"},
      {static_cast<HRESULT>(NC_E_EMPTYURI), "Empty namespace address"},
      {static_cast<HRESULT>(SC_E_MAXELEMENTDEPTH), "Excessive depth in document"},
      {static_cast<HRESULT>(SC_E_MAXENTITYEXPANSION), "Entity expansion limit exceeded"},
      {static_cast<HRESULT>(E_NOTIMPL), "Not supported by the system's XML reader"},
  };
  for (const Known& known : kKnown)
    if (known.code == result) return known.text;
  char text[40];
  std::snprintf(text, sizeof text, "XML error 0x%08lX", static_cast<unsigned long>(result));
  return text;
}

class XmlLiteSource final : public XmlNodeSource {
 public:
  XmlLiteSource(ProgramRef<cef_stream_reader_t> stream, int encodingType, const std::u16string& uri) {
    const XmlLite& lib = XmlLite::Get();
    ComPtr<IXmlReader> reader;
    if (!lib.createReader || FAILED(lib.createReader(__uuidof(IXmlReader), &reader, nullptr))) return;
    static NoResolver resolver;
    if (FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Parse)) ||
        FAILED(reader->SetProperty(XmlReaderProperty_XmlResolver, reinterpret_cast<LONG_PTR>(&resolver))))
      return;
    ComPtr<ProgramStream> input;
    input.Attach(new ProgramStream(std::move(stream)));
    input_ = input;
    HRESULT set = E_FAIL;
    if (const wchar_t* encoding = EncodingName(encodingType)) {
      ComPtr<IUnknown> withEncoding;
      const auto* base = reinterpret_cast<const wchar_t*>(uri.c_str());
      if (lib.createInput && SUCCEEDED(lib.createInput(input.Get(), nullptr, encoding, FALSE,
                                                       uri.empty() ? nullptr : base, &withEncoding)))
        set = reader->SetInput(withEncoding.Get());
    } else {
      set = reader->SetInput(input.Get());
    }
    if (SUCCEEDED(set)) reader_ = std::move(reader);
  }
  // The program's stream is let go of here, whatever XmlLite does with its input (Wine's
  // keeps a reference to it after the reader is gone).
  ~XmlLiteSource() override {
    if (input_) input_->Drop();
  }
  bool Made() const { return reader_ != nullptr; }

  bool Next(XmlNode& node, std::string& error, int& line) override {
    XmlNodeType type = XmlNodeType_None;
    HRESULT result;
    // libxml2's reader does not show the XML declaration as a node.
    while ((result = reader_->Read(&type)) == S_OK && type == XmlNodeType_XmlDeclaration) {
    }
    if (result != S_OK) {
      if (FAILED(result)) {
        error = Message(result);
        line = LineNumber();
      }
      return false;
    }
    node = XmlNode{};
    node.line = LineNumber();
    switch (type) {
      case XmlNodeType_Element:
        node.type = XML_NODE_ELEMENT_START;
        node.empty = reader_->IsEmptyElement() != FALSE;
        Names(node.qname, node.prefix, node.local, node.ns);
        for (HRESULT more = reader_->MoveToFirstAttribute(); more == S_OK;
             more = reader_->MoveToNextAttribute()) {
          XmlAttribute& a = node.attributes.emplace_back();
          Names(a.qname, a.prefix, a.local, a.ns);
          a.value = Text(&IXmlReader::GetValue);
        }
        reader_->MoveToElement();
        return true;
      case XmlNodeType_EndElement:
        node.type = XML_NODE_ELEMENT_END;
        Names(node.qname, node.prefix, node.local, node.ns);
        return true;
      case XmlNodeType_Text:
        node.type = XML_NODE_TEXT;
        break;
      case XmlNodeType_Whitespace:
        node.type = XML_NODE_WHITESPACE;
        break;
      case XmlNodeType_CDATA:
        node.type = XML_NODE_CDATA;
        break;
      case XmlNodeType_Comment:
        node.type = XML_NODE_COMMENT;
        break;
      case XmlNodeType_ProcessingInstruction:
        node.type = XML_NODE_PROCESSING_INSTRUCTION;
        node.qname = node.local = Text(&IXmlReader::GetLocalName);
        break;
      case XmlNodeType_DocumentType:
        node.type = XML_NODE_DOCUMENT_TYPE;
        node.qname = node.local = Text(&IXmlReader::GetLocalName);
        return true;
      default:
        node.type = XML_NODE_UNSUPPORTED;
        return true;
    }
    node.value = Text(&IXmlReader::GetValue);
    return true;
  }

 private:
  using Getter = HRESULT (STDMETHODCALLTYPE IXmlReader::*)(LPCWSTR*, UINT*);
  std::u16string Text(Getter get) {
    LPCWSTR text = nullptr;
    UINT length = 0;
    if (FAILED((reader_.Get()->*get)(&text, &length)) || !text) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
  }
  void Names(std::u16string& qname, std::u16string& prefix, std::u16string& local, std::u16string& ns) {
    qname = Text(&IXmlReader::GetQualifiedName);
    prefix = Text(&IXmlReader::GetPrefix);
    local = Text(&IXmlReader::GetLocalName);
    ns = Text(&IXmlReader::GetNamespaceUri);
  }
  int LineNumber() {
    UINT line = 0;
    return SUCCEEDED(reader_->GetLineNumber(&line)) ? static_cast<int>(line) : 0;
  }

  ComPtr<ProgramStream> input_;
  ComPtr<IXmlReader> reader_;
};

}  // namespace
}  // namespace cef_engine::archive

extern "C" cef_xml_reader_t* cef_xml_reader_create(cef_stream_reader_t* stream, int encodingType,
                                                   const cef_string_t* URI) {
  using namespace cef_engine::archive;
  return CreateXmlReader(stream, [&](auto held) -> std::unique_ptr<XmlNodeReader> {
    const std::u16string uri(cef_engine::ViewOf(URI));
    auto source = std::make_unique<XmlLiteSource>(std::move(held), encodingType, uri);
    if (!source->Made()) return nullptr;
    return std::make_unique<XmlNodeReader>(std::move(source), uri);
  });
}
