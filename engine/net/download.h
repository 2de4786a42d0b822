// Downloads: which responses are files to keep rather than pages to show, the file name
// such a response proposes, and handing its body to the program's download handler.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "cef/cef_records.h"
#include "net/body_pipe.h"
#include "net/loader.h"
#include "objects/engine_object.h"

namespace cef_engine::net {

// A response is a download when it says so (`Content-Disposition: attachment`) or when
// its type is none the engine shows as a page: HTML, text, images (shown empty, as the
// engine draws none), script, JSON and XML are pages; everything else is a file.
bool IsDownload(const LoadResult& result);

// The file name a download proposes: Content-Disposition's `filename*` (UTF-8) or
// `filename`, else the address's last path segment, else "download". Only the last part of
// a path stays; control characters go, and characters file systems refuse become '_', so
// the name can never lead out of the folder the program saves it in.
std::u16string DownloadFileName(const LoadResult& result);

// Whether a response hands its body over while it arrives (LoadResult::streamed_body):
// every response of a request that streams its bodies, a download of one that streams
// downloads.
bool StreamsBody(const LoadRequest& request, const LoadResult& head);

// The length a download announces (Content-Length), -1 when it says none.
int64_t AnnouncedLength(const LoadResult& result);

// A download whose body is still arriving (LoadResult::streamed_body). The handler gets it
// on the main thread as it comes, through the content filter if the program gave one, in
// pieces of 16 KiB (the last one smaller), then `complete` once it arrived whole. A piece
// answered with 0, a transfer that breaks off, or Cancel end it without `complete`, and
// stop the transfer. `ended` runs on the main thread, with the download, when it ended by
// itself.
class StreamedDownload : public std::enable_shared_from_this<StreamedDownload> {
 public:
  static std::shared_ptr<StreamedDownload> Start(ProgramRef<cef_download_handler_t> handler,
                                                 ProgramRef<cef_content_filter_t> filter,
                                                 std::shared_ptr<BodyReader> body,
                                                 std::function<void(const StreamedDownload&)> ended);
  // Main thread: lets go of the handler, the filter and the transfer.
  void Cancel();

 private:
  void Drain();
  // Hands out the whole pieces waiting, and with `last` the rest; false when the handler
  // stopped the download or let go of it.
  bool Deliver(bool last);

  ProgramRef<cef_download_handler_t> handler_;
  ProgramRef<cef_content_filter_t> filter_;
  std::shared_ptr<BodyReader> body_;
  std::function<void(const StreamedDownload&)> ended_;
  std::string waiting_;  // arrived (and filtered), not handed out yet: less than a piece
};

}  // namespace cef_engine::net
