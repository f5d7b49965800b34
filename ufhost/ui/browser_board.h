// The exchange between the host's thread, on which the plug-in runs and
// blocks in each request, and the server's threads, which talk to the page.
//
// The host's thread posts the part's picture as it changes (objects as JSON
// text, highlights, the listing window) and each request, then waits for its
// answer. The server's threads read only what was posted here, never the
// model. One page at a time holds the board: its event stream gets a picture
// of everything so far, then each change as it comes; it alone may answer.
//
// Every request is cancelled once the board is cancelled: by a signal, when
// the page has been gone for longer than a reload takes, or when no page has
// come at all for a long while. So the run always ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost::browser {

using Clock = std::chrono::steady_clock;

// A JSON value as one line of text, invalid UTF-8 (a name read from a part
// file) replaced rather than thrown at.
std::string json_text(const nlohmann::json& value);

// 32 hexadecimal digits from the system's random source.
std::string random_hex();

// Checks the page's answer to one request: "" and *checked set when it fits
// the request, else why it does not (the request stays open). Runs on a
// server thread: it may use only what it captured.
using AnswerCheck =
    std::function<std::string(const nlohmann::json& answer, nlohmann::json* checked)>;

struct BoardTimes {
  Clock::duration first_page = std::chrono::minutes(10);  // for the first page to come
  Clock::duration reload = std::chrono::seconds(5);       // for a page gone to come back
};

class Board {
 public:
  // `hello`: what the page is told first (title, part, units).
  Board(nlohmann::json hello, BoardTimes times);

  // [SECTION] The host's thread

  // Shows `request` to the page and waits for its answer: the checked
  // answer, or nothing when the request was cancelled.
  std::optional<nlohmann::json> ask(nlohmann::json request, AnswerCheck check);
  void put_object(Tag tag, std::string json);
  void remove_object(Tag tag);
  void set_highlight(Tag tag, bool on);
  void add_listing(const std::string& text);
  // The run is over; the page is told with `note`.
  void end(const std::string& note);

  // [SECTION] Any thread

  // Cancels the open request and every later one; `why` is printed once on
  // standard error and shown in the page.
  void cancel(const std::string& why);
  bool cancelled() const;
  // The server stops: event streams end once they have sent what is
  // waiting. Waits up to `flush` for that.
  void stop(Clock::duration flush);

  // [SECTION] The server's threads

  // A page opens its event stream. Returns its page id with the frames that
  // bring it up to date, or "" when another page holds the board.
  std::string connect(std::vector<std::string>* frames);
  // Waits up to `wait` for frames for the page. false: its stream must end
  // (the board stopped, or it is no longer the page).
  bool next_frames(const std::string& page, Clock::duration wait, std::vector<std::string>* frames);
  // The page's stream broke or ended.
  void disconnected(const std::string& page);
  // The page's answer {"page": ..., "request": ID, ...}: an HTTP status,
  // with *error set unless 200.
  int answer(const nlohmann::json& answer, std::string* error);

  // The id of the open request, 0 when none.
  std::uint64_t open_request() const;

 private:
  struct Open {
    std::uint64_t id = 0;
    nlohmann::json request;
    AnswerCheck check;
    std::optional<nlohmann::json> answer;
  };

  void send(const std::string& event, const nlohmann::json& data);  // lock held
  static std::string frame(const std::string& event, const std::string& data);
  void cancel_locked(const std::string& why);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const nlohmann::json hello_;
  const BoardTimes times_;
  const Clock::time_point started_ = Clock::now();

  std::map<Tag, std::string> objects_;  // JSON text of each object shown
  std::map<Tag, bool> highlighted_;
  std::string listing_;
  std::optional<Open> open_;
  std::uint64_t last_id_ = 0;
  std::string ended_;      // the note once the run is over
  std::string cancelled_;  // why, once cancelled
  bool stopping_ = false;

  std::string page_;        // the page holding the board; "" none
  bool page_came_ = false;  // a page has held the board
  Clock::time_point page_left_;
  std::vector<std::string> outbox_;  // frames for the page, not yet taken
  int streams_ = 0;                  // event streams running
};

}  // namespace ufhost::browser
