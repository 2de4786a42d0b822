// One HTTP load as a browser makes it, on top of the transfers: the cookies of a store
// sent with each request and the Set-Cookie headers of each response stored in it, and
// redirects followed by the engine itself (at most 20), each offered to the owner first.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/cookies.h"
#include "net/http.h"
#include "net/loader.h"

namespace cef_engine::net {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  struct Login {
    std::u16string user, password;
  };
  struct Hooks {
    // A redirect: `response` is the redirecting response, `next` the request that would
    // follow it. The owner answers by calling Follow (with `next`, changed or not) or
    // Fail, now or later, on the IO thread. Empty: every redirect is followed.
    std::function<void(const std::shared_ptr<HttpSession>& session, const LoadResult& response,
                       LoadRequest next)>
        redirect;
    // The final response, or the failure; once, on the IO thread.
    std::function<void(LoadResult)> done;
    // A server asks for a Basic login (401): the user name and password to send, or
    // nothing to take the server's answer as it is. IO thread. Empty: never logs in.
    std::function<std::optional<Login>(const Url& url, const std::u16string& realm)> login;
  };

  // Starts on the IO thread. `cookies` may be null (no cookies).
  static std::shared_ptr<HttpSession> Start(LoadRequest request, std::shared_ptr<CookieStore> cookies,
                                            Hooks hooks);

  // IO thread.
  void Follow(LoadRequest next);
  void Fail(int error, std::u16string text);
  // IO thread: the transfer in flight is aborted, and no hook is called any more.
  void Abort();

  HttpSession(std::shared_ptr<CookieStore> cookies, Hooks hooks)
      : cookies_(std::move(cookies)), hooks_(std::move(hooks)) {}

 private:
  void Send(LoadRequest request);
  void Arrived(LoadResult result);
  // A 401 answered with a Basic login: the request goes again with it. False when there
  // is nothing to try (another scheme, no login, too many tries).
  bool LogIn(const LoadResult& result);
  void Done(LoadResult result);

  std::shared_ptr<CookieStore> cookies_;
  Hooks hooks_;
  LoadRequest request_;
  Url url_;
  int redirects_ = 0;
  int logins_ = 0;
  bool over_ = false;
  std::shared_ptr<HttpTransfer> transfer_;
};

// The value of the first header of that name (ASCII case ignored), or empty.
std::u16string HeaderValue(const HeaderList& headers, std::u16string_view name);
bool HasHeader(const HeaderList& headers, std::u16string_view name);

}  // namespace cef_engine::net
