// Printing a frame's page: the print handler chooses paper, orientation and margins
// (A4, portrait, half-inch margins by default), the page's text is laid out at 72 dots
// per inch in a fixed pitch (10 characters an inch, 6 lines an inch) onto as many pages
// as it takes, and the handler is asked for each page's header and footer. Windows sends
// the pages to the default printer through GDI; where there is none (Linux, Wine without
// a printer), the engine writes one line to the standard error stream saying so.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "browser/browser.h"
#include "net/text_util.h"
#include "strings/text.h"

#if defined(_WIN32)
#include <windows.h>
#include <winspool.h>
#endif

namespace cef_engine::browser {
namespace {

constexpr double kCharsPerInch = 10;
constexpr double kLinesPerInch = 6;

// Paper width and length in inches, portrait.
struct Paper {
  double width, length;
};
Paper PaperOf(const cef_paper_metrics& metrics) {
  switch (metrics.paper_type) {
    case PT_LETTER:
      return {8.5, 11};
    case PT_LEGAL:
      return {8.5, 14};
    case PT_EXECUTIVE:
      return {7.25, 10.5};
    case PT_A3:
      return {11.69, 16.54};
    case PT_CUSTOM:
      return {metrics.width, metrics.length};
    case PT_A4:
    default:
      return {8.27, 11.69};
  }
}

cef_print_options_t DefaultOptions() {
  cef_print_options_t options{};
  options.page_orientation = PORTRAIT;
  options.paper_metrics.paper_type = PT_A4;
  options.paper_margins = {0.5, 0.5, 0.5, 0.5, 0.25, 0.25};
  return options;
}

bool Sane(double value, double most) { return std::isfinite(value) && value >= 0 && value <= most; }

// The handler's options where they make a page with room for at least one line of one
// character; the defaults for whatever does not (said on the standard error stream).
cef_print_options_t Checked(const cef_print_options_t& asked) {
  cef_print_options_t options = asked;
  bool ok = options.page_orientation == PORTRAIT || options.page_orientation == LANDSCAPE;
  ok = ok && options.paper_metrics.paper_type >= PT_LETTER && options.paper_metrics.paper_type <= PT_CUSTOM;
  if (ok && options.paper_metrics.paper_type == PT_CUSTOM)
    ok = Sane(options.paper_metrics.width, 100) && Sane(options.paper_metrics.length, 100);
  const auto& m = options.paper_margins;
  ok = ok && Sane(m.left, 100) && Sane(m.right, 100) && Sane(m.top, 100) && Sane(m.bottom, 100) &&
       Sane(m.header, 100) && Sane(m.footer, 100);
  if (ok) {
    Paper paper = PaperOf(options.paper_metrics);
    if (options.page_orientation == LANDSCAPE) std::swap(paper.width, paper.length);
    ok = paper.width - m.left - m.right >= 1 / kCharsPerInch &&
         paper.length - m.top - m.bottom >= 1 / kLinesPerInch;
  }
  if (ok) return options;
  std::fprintf(stderr,
               "cef: print: the print handler's paper, orientation or margins leave no room; "
               "A4 portrait with the default margins is used\n");
  return DefaultOptions();
}

// The text in lines of at most `columns` characters: words wrap, a longer word is cut.
std::vector<std::u16string> Lines(const std::u16string& text, size_t columns) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view paragraph(text.data() + start, end - start);
    do {
      size_t take = std::min(paragraph.size(), columns);
      if (take < paragraph.size()) {
        const size_t blank = paragraph.substr(0, take + 1).find_last_of(u' ');
        if (blank != std::u16string_view::npos && blank > 0) take = blank;
      }
      lines.emplace_back(paragraph.substr(0, take));
      paragraph.remove_prefix(take);
      while (!paragraph.empty() && paragraph.front() == u' ') paragraph.remove_prefix(1);
    } while (!paragraph.empty());
    start = end + 1;
  }
  return lines;
}

#if defined(_WIN32)
// The default printer's device context; null when there is no printer.
HDC OpenPrinter() {
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  if (size == 0) return nullptr;
  std::wstring name(size, L'\0');
  if (!GetDefaultPrinterW(name.data(), &size)) return nullptr;
  return CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
}
#endif

}  // namespace

void Browser::Print(Frame& frame) {
  cef_print_options_t options = DefaultOptions();
  if (print_ && print_->get_print_options) {
    cef_print_options_t asked = options;
    if (print_->get_print_options(print_.get(), Share(), &asked)) options = Checked(asked);
  }
  Paper paper = PaperOf(options.paper_metrics);
  if (options.page_orientation == LANDSCAPE) std::swap(paper.width, paper.length);
  const auto& margins = options.paper_margins;
  const size_t columns =
      std::max<size_t>(1, static_cast<size_t>((paper.width - margins.left - margins.right) * kCharsPerInch));
  const size_t rows =
      std::max<size_t>(1, static_cast<size_t>((paper.length - margins.top - margins.bottom) * kLinesPerInch));
  const std::vector<std::u16string> lines = Lines(frame.PageText(), columns);
  const int pages = static_cast<int>((lines.size() + rows - 1) / rows);
  const std::u16string url = frame.url(), title = frame.PageTitle();

  cef_print_info_t info{};
  info.m_Scale = 1;
#if defined(_WIN32)
  constexpr double kDotsPerInch = 72;  // the unit of the print info's scale
  double dots = kDotsPerInch;          // device units per inch
  HDC printer = OpenPrinter();
  DOCINFOW document{};
  document.cbSize = sizeof(document);
  const std::wstring document_name(title.begin(), title.end());
  document.lpszDocName = document_name.c_str();
  if (printer && StartDocW(printer, &document) <= 0) {
    DeleteDC(printer);
    printer = nullptr;
  }
  if (printer) {
    dots = GetDeviceCaps(printer, LOGPIXELSY);
    info.m_Scale = dots / kDotsPerInch;
  }
  info.m_hDC = printer;
  info.m_Rect = {static_cast<int32_t>(margins.left * dots), static_cast<int32_t>(margins.top * dots),
                 static_cast<int32_t>((paper.width - margins.right) * dots),
                 static_cast<int32_t>((paper.length - margins.bottom) * dots)};
#endif
  const cef_string_t url_view = View(url), title_view = View(title);
  for (int page = 1; page <= pages && !closed_; ++page) {
    cef_string_t slots[6] = {};
    const bool own = print_ && print_->get_print_header_footer &&
                     print_->get_print_header_footer(print_.get(), Share(), frame.Share(), &info, &url_view,
                                                     &title_view, page, pages, &slots[0], &slots[1],
                                                     &slots[2], &slots[3], &slots[4], &slots[5]);
#if defined(_WIN32)
    if (printer) {
      StartPage(printer);
      const int line_height = static_cast<int>(dots / kLinesPerInch);
      int y = info.m_Rect.top;
      const size_t first = static_cast<size_t>(page - 1) * rows;
      for (size_t k = first; k < std::min(lines.size(), first + rows); ++k, y += line_height) {
        const std::wstring line(lines[k].begin(), lines[k].end());
        TextOutW(printer, info.m_Rect.left, y, line.c_str(), static_cast<int>(line.size()));
      }
      if (!own) {
        // The slots' text: header along the top margin, footer along the bottom one.
        const int top = static_cast<int>(margins.header * dots);
        const int bottom = static_cast<int>((paper.length - margins.footer) * dots) - line_height;
        const UINT aligns[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
        for (int slot = 0; slot < 6; ++slot) {
          const std::wstring text(ViewOf(&slots[slot]).begin(), ViewOf(&slots[slot]).end());
          RECT area{info.m_Rect.left, slot < 3 ? top : bottom, info.m_Rect.right,
                    (slot < 3 ? top : bottom) + line_height};
          DrawTextW(printer, text.c_str(), static_cast<int>(text.size()), &area,
                    aligns[slot % 3] | DT_SINGLELINE | DT_NOPREFIX);
        }
      }
      EndPage(printer);
    }
#else
    (void)own;
#endif
    for (auto& slot : slots) ClearRecord(&slot);
  }
#if defined(_WIN32)
  if (printer) {
    EndDoc(printer);
    DeleteDC(printer);
    return;
  }
#endif
  std::fprintf(stderr, "cef: print: no printer; %d page(s) of %s were laid out but not printed\n", pages,
               net::ToUtf8(url).c_str());
}

}  // namespace cef_engine::browser
