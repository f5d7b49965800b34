#include "ufhost/ui/browser_board.h"

#include <cstdio>
#include <iostream>
#include <random>

namespace ufhost::browser {

std::string json_text(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string random_hex() {
  std::random_device source;
  std::string out;
  const char* digits = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    std::uint32_t word = source();
    for (int k = 0; k < 8; ++k, word >>= 4) out += digits[word & 15];
  }
  return out;
}

Board::Board(nlohmann::json hello, BoardTimes times) : hello_(std::move(hello)), times_(times) {}

std::string Board::frame(const std::string& event, const std::string& data) {
  return "event: " + event + "\ndata: " + data + "\n\n";
}

void Board::send(const std::string& event, const nlohmann::json& data) {
  if (page_.empty()) return;  // a page that comes later gets the picture as it then is
  outbox_.push_back(frame(event, json_text(data)));
  changed_.notify_all();
}

std::optional<nlohmann::json> Board::ask(nlohmann::json request, AnswerCheck check) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cancelled_.empty()) return std::nullopt;
  Open open;
  open.id = ++last_id_;
  request["id"] = open.id;
  open.request = std::move(request);
  open.check = std::move(check);
  open_ = std::move(open);
  send("request", open_->request);
  for (;;) {
    if (open_->answer) break;
    if (!cancelled_.empty()) break;
    if (page_.empty()) {
      const bool reload = page_came_;
      const Clock::time_point deadline =
          reload ? page_left_ + times_.reload : started_ + times_.first_page;
      if (Clock::now() >= deadline) {
        cancel_locked(reload ? "the page was closed" : "no page came to answer the plug-in");
        break;
      }
      changed_.wait_until(lock, deadline);
    } else {
      changed_.wait(lock);
    }
  }
  std::optional<nlohmann::json> answer = std::move(open_->answer);
  send("settled", {{"id", open_->id}, {"answered", answer.has_value()}});
  open_.reset();
  return answer;
}

void Board::put_object(Tag tag, std::string json) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!page_.empty()) outbox_.push_back(frame("object", json));
  objects_[tag] = std::move(json);
  changed_.notify_all();
}

void Board::remove_object(Tag tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  objects_.erase(tag);
  highlighted_.erase(tag);
  send("remove", {{"tag", tag}});
}

void Board::set_highlight(Tag tag, bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (on)
    highlighted_[tag] = true;
  else
    highlighted_.erase(tag);
  send("highlight", {{"tag", tag}, {"on", on}});
}

void Board::add_listing(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A page that comes late sees the last megabyte; the terminal has it all.
  constexpr std::size_t kKept = 1 << 20;
  listing_ += text;
  if (listing_.size() > kKept) listing_.erase(0, listing_.size() - kKept);
  send("listing", {{"text", text}});
}

void Board::end(const std::string& note) {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = note;
  send("end", {{"note", note}});
}

void Board::cancel_locked(const std::string& why) {
  if (!cancelled_.empty()) return;
  cancelled_ = why;
  std::fflush(stdout);
  std::cerr << "ufhost: " << why
            << "; every request of the plug-in is cancelled so that the run ends" << std::endl;
  send("cancelled", {{"why", why}});
  changed_.notify_all();
}

void Board::cancel(const std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  cancel_locked(why);
}

bool Board::cancelled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !cancelled_.empty();
}

void Board::stop(Clock::duration flush) {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  changed_.notify_all();
  changed_.wait_for(lock, flush, [&] { return streams_ == 0; });
}

std::string Board::connect(std::vector<std::string>* frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  frames->clear();
  if (!page_.empty() || stopping_) return "";
  page_ = random_hex();
  page_came_ = true;
  ++streams_;
  outbox_.clear();
  nlohmann::json hello = hello_;
  hello["page"] = page_;
  frames->push_back(frame("hello", json_text(hello)));
  std::string scene = "{\"objects\":[";
  for (const auto& [tag, json] : objects_) {
    if (scene.back() != '[') scene += ',';
    scene += json;
  }
  nlohmann::json highlighted = nlohmann::json::array();
  for (const auto& entry : highlighted_) highlighted.push_back(entry.first);
  scene += "],\"highlighted\":" + json_text(highlighted) + "}";
  frames->push_back(frame("scene", scene));
  if (!listing_.empty()) frames->push_back(frame("listing", json_text({{"text", listing_}})));
  if (!cancelled_.empty()) frames->push_back(frame("cancelled", json_text({{"why", cancelled_}})));
  if (open_ && !open_->answer) frames->push_back(frame("request", json_text(open_->request)));
  if (!ended_.empty()) frames->push_back(frame("end", json_text({{"note", ended_}})));
  changed_.notify_all();  // the host's thread may be waiting for a page to come back
  return page_;
}

bool Board::next_frames(const std::string& page, Clock::duration wait,
                        std::vector<std::string>* frames) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, wait, [&] { return !outbox_.empty() || stopping_ || page_ != page; });
  if (page_ != page) return false;
  frames->insert(frames->end(), outbox_.begin(), outbox_.end());
  outbox_.clear();
  return !stopping_ || !frames->empty();
}

void Board::disconnected(const std::string& page) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (page_ != page) return;
  page_.clear();
  page_left_ = Clock::now();
  outbox_.clear();
  --streams_;
  changed_.notify_all();
}

int Board::answer(const nlohmann::json& answer, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto page = answer.find("page");
  if (page_.empty() || page == answer.end() || *page != page_) {
    *error = "this page is not the one showing the run";
    return 409;
  }
  const auto id = answer.find("request");
  if (!open_ || open_->answer || id == answer.end() || !id->is_number_unsigned() ||
      id->get<std::uint64_t>() != open_->id) {
    *error = "that request is no longer open";
    return 409;
  }
  nlohmann::json checked;
  *error = open_->check(answer, &checked);
  if (!error->empty()) return 400;
  open_->answer = std::move(checked);
  changed_.notify_all();
  return 200;
}

std::uint64_t Board::open_request() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ ? open_->id : 0;
}

}  // namespace ufhost::browser
