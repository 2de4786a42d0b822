// The platform's HTTP stack behind one blocking call, made on the IO thread: cpp-httplib
// on Linux, WinHTTP on Windows. Redirects are followed.
#pragma once

#include "net/loader.h"
#include "net/url.h"

namespace cef_engine::net {

LoadResult HttpFetch(const Url& url, const LoadRequest& request);

}  // namespace cef_engine::net
