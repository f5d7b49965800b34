// The browser front end's HTTP server: one page, its script, its event
// stream and its answers, on 127.0.0.1 only. Every request must carry the
// run's token, come from the page's own origin and name a loopback host;
// anything else is refused with 403 before it reaches a handler.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "ufhost/ui/browser_board.h"

namespace ufhost::browser {

class PageServer {
 public:
  // `page`: the page's HTML, in which "@@TOKEN@@" stands for the token;
  // `script`: the page's script bundle.
  PageServer(Board& board, std::string page, std::string script, std::string token);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Binds 127.0.0.1 on a free port (`port` 0) or on `port`, and serves on
  // threads of its own. false with a message when it cannot bind.
  bool start(int port, std::string* error);
  int port() const { return port_; }
  // For the page's tests alone (TestControl::hold_answer_replies), before
  // start(): the reply to each answer the board took waits until the board
  // has taken the page's next answer, the server stops, or kHeldAtMost
  // passes, so that every request reaches the page while the reply to the
  // answer before it is still on its way.
  void hold_replies_for_tests();
  // Far longer than a test's page takes to answer on a busy machine; a page
  // that lost an answer gets its reply in the end, and its test fails.
  static constexpr std::chrono::seconds kHeldAtMost{30};
  // Stops serving and joins the server's threads.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// Why a request with these headers and this token parameter is refused, or
// "" when it may be served. `host`, `origin` and `fetch_site` are the Host,
// Origin and Sec-Fetch-Site headers ("" when absent).
std::string refusal(const std::string& host, const std::string& origin,
                    const std::string& fetch_site, const std::string& given_token,
                    const std::string& token);

}  // namespace ufhost::browser
