#include "ufhost/ui/browser_server.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ufhost::browser {

namespace {

// Heartbeats find a page that is gone within about this time.
constexpr auto kHeartbeat = std::chrono::seconds(1);

// Compares in a time that does not depend on where the texts differ.
bool same_secret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// "127.0.0.1:8080" -> "127.0.0.1"; "[::1]:80" -> "[::1]".
std::string host_name(const std::string& host) {
  if (!host.empty() && host[0] == '[') return host.substr(0, host.find(']') + 1);
  return host.substr(0, host.find(':'));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string refusal(const std::string& host, const std::string& origin,
                    const std::string& fetch_site, const std::string& given_token,
                    const std::string& token) {
  // A name other than loopback's is a page elsewhere whose name was made to
  // point here.
  const std::string name = host_name(host);
  if (name != "127.0.0.1" && name != "localhost" && name != "[::1]")
    return "the address names the host '" + host + "', not this machine's loopback";
  if (!origin.empty() && origin != "http://" + host)
    return "requests from the page at " + origin + " are not taken";
  if (!fetch_site.empty() && fetch_site != "same-origin" && fetch_site != "none")
    return "requests from other sites are not taken";
  if (!same_secret(given_token, token))
    return given_token.empty() ? "the address lacks the token that ufhost printed"
                               : "the token is not this run's";
  return "";
}

namespace {

// Replies held back for the page's tests (hold_replies_for_tests).
struct HeldReplies {
  bool on = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t taken = 0;  // answers the board took
  bool stopping = false;

  // Called once the board took an answer: waits for the next one.
  void hold() {
    std::unique_lock<std::mutex> lock(mutex);
    const std::uint64_t mine = ++taken;
    changed.notify_all();
    changed.wait_for(lock, PageServer::kHeldAtMost, [&] { return stopping || taken > mine; });
  }
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
  }
};

}  // namespace

struct PageServer::Impl {
  Board& board;
  std::string page;
  std::string script;
  std::string token;
  httplib::Server server;
  std::thread thread;
  HeldReplies held;
};

PageServer::PageServer(Board& board, std::string page, std::string script, std::string token)
    : impl_(new Impl{board, replaced(std::move(page), "@@TOKEN@@", token), std::move(script),
                     token, {}, {}, {}}) {
  httplib::Server& server = impl_->server;
  Impl& impl = *impl_;
  server.set_default_headers({
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"X-Frame-Options", "DENY"},
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'unsafe-inline'; connect-src 'self'; "
       "img-src 'self' data: blob:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
  });
  server.set_payload_max_length(1 << 20);
  // Short, so that stopping does not wait long for idle connections.
  server.set_keep_alive_timeout(1);
  server.set_pre_routing_handler([&impl](const httplib::Request& request,
                                         httplib::Response& response) {
    const std::string why = refusal(
        request.get_header_value("Host"), request.get_header_value("Origin"),
        request.get_header_value("Sec-Fetch-Site"), request.get_param_value("token"), impl.token);
    if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
    response.status = 403;
    response.set_content("Refused: " + why + ".\n", "text/plain; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  });
  server.Get("/", [&impl](const httplib::Request&, httplib::Response& response) {
    response.set_content(impl.page, "text/html; charset=utf-8");
  });
  server.Get("/app.js", [&impl](const httplib::Request&, httplib::Response& response) {
    response.set_content(impl.script, "text/javascript; charset=utf-8");
  });
  server.Get("/events", [&impl](const httplib::Request&, httplib::Response& response) {
    auto frames = std::make_shared<std::vector<std::string>>();
    const std::string page_id = impl.board.connect(frames.get());
    if (page_id.empty()) {
      // The browser comes back after the retry time by itself, and takes
      // over once the other page is gone.
      response.set_content("retry: 1000\nevent: busy\ndata: {}\n\n", "text/event-stream");
      return;
    }
    response.set_chunked_content_provider(
        "text/event-stream",
        [&impl, page_id, frames](std::size_t, httplib::DataSink& sink) {
          if (frames->empty() && !impl.board.next_frames(page_id, kHeartbeat, frames.get())) {
            sink.done();
            return true;
          }
          std::string text;
          for (const std::string& f : *frames) text += f;
          frames->clear();
          if (text.empty()) text = ": still here\n\n";
          return sink.write(text.data(), text.size());
        },
        [&impl, page_id](bool) { impl.board.disconnected(page_id); });
  });
  server.Post("/answer", [&impl](const httplib::Request& request, httplib::Response& response) {
    auto reply = [&response](int status, const std::string& error) {
      response.status = status;
      response.set_content(json_text(error.empty() ? nlohmann::json{{"ok", true}}
                                                   : nlohmann::json{{"error", error}}),
                           "application/json");
    };
    // A form on another site cannot send this type without asking first.
    if (request.get_header_value("Content-Type").rfind("application/json", 0) != 0)
      return reply(415, "answers are JSON");
    const nlohmann::json answer = nlohmann::json::parse(request.body, nullptr, false);
    if (!answer.is_object()) return reply(400, "the answer is not a JSON object");
    std::string error;
    const int status = impl.board.answer(answer, &error);
    if (impl.held.on && status == 200) impl.held.hold();
    reply(status, error);
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) response.set_content("Not here.\n", "text/plain; charset=utf-8");
  });
}

PageServer::~PageServer() { stop(); }

bool PageServer::start(int port, std::string* error) {
  httplib::Server& server = impl_->server;
  if (port == 0) {
    port_ = server.bind_to_any_port("127.0.0.1");
  } else {
    port_ = server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (port_ <= 0) {
    *error = port == 0 ? "no port of 127.0.0.1 is free for the page"
                       : "port " + std::to_string(port) + " of 127.0.0.1 is taken";
    port_ = 0;
    return false;
  }
  // stop() does nothing to a server that is not listening yet, so the
  // server must be listening before this returns.
  auto over = std::make_shared<std::atomic<bool>>(false);
  impl_->thread = std::thread([&server, over] {
    server.listen_after_bind();
    *over = true;
  });
  while (!server.is_running() && !*over) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (*over) {
    impl_->thread.join();
    *error = "the page's server could not listen on port " + std::to_string(port_);
    return false;
  }
  return true;
}

void PageServer::hold_replies_for_tests() { impl_->held.on = true; }

void PageServer::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->held.stop();
  impl_->server.stop();
  impl_->thread.join();
}

}  // namespace ufhost::browser
