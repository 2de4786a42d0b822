// Downloads: which responses are files to keep rather than pages to show, the file name
// such a response proposes, and handing its body to the program's download handler.
#pragma once

#include <string>
#include <string_view>

#include "cef/cef_records.h"
#include "net/loader.h"

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

// Hands `body` to the handler in pieces of 16 KiB, in order, then calls `complete`; a
// piece it refuses (0) ends the download there, without `complete`. The handler's
// reference stays with the caller; the pieces are lent from `body`, which the handler may
// write into. Main thread.
void DeliverDownload(cef_download_handler_t* handler, std::string body);

}  // namespace cef_engine::net
