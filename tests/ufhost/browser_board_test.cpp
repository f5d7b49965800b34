// The browser front end's exchange between the host's thread and the
// server's, without HTTP: a request waits for its page, a page that goes
// away for longer than a reload cancels the run, answers are checked, and
// the server's rules for what it serves.
#include "ufhost/ui/browser_board.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ufhost/ui/browser_server.h"

using namespace std::chrono_literals;
using nlohmann::json;
using ufhost::browser::Board;
using ufhost::browser::BoardTimes;

namespace {

// Takes any answer as it is.
std::string take_it(const json& a, json* checked) {
  *checked = a.value("code", 0);
  return "";
}

// The page id from the frames a page gets when it connects.
std::string connect(Board& board, std::vector<std::string>* frames = nullptr) {
  std::vector<std::string> own;
  return board.connect(frames ? frames : &own);
}

// Waits until the host's thread has posted a request.
std::uint64_t posted(const Board& board) {
  while (board.open_request() == 0) std::this_thread::yield();
  return board.open_request();
}

}  // namespace

TEST(BrowserBoard, AnswerReachesTheWaitingHostOnlyFromThePageAndOnlyWhenItFits) {
  Board board({{"title", "t"}}, BoardTimes{});
  const std::string page = connect(board);
  ASSERT_FALSE(page.empty());
  auto host = std::async(std::launch::async, [&] {
    return board.ask({{"kind", "menu"}}, [](const json& a, json* checked) -> std::string {
      if (a.value("code", 0) != 5) return "no such item";
      *checked = 5;
      return "";
    });
  });
  const std::uint64_t id = posted(board);
  std::string error;
  struct Case {
    json answer;
    int status;
  };
  const Case cases[] = {
      {{{"page", "other"}, {"request", id}, {"code", 5}}, 409},
      {{{"request", id}, {"code", 5}}, 409},
      {{{"page", page}, {"request", id + 1}, {"code", 5}}, 409},
      {{{"page", page}, {"request", "1"}, {"code", 5}}, 409},
      {{{"page", page}, {"request", id}, {"code", 7}}, 400},
      {{{"page", page}, {"request", id}, {"code", 5}}, 200},
      {{{"page", page}, {"request", id}, {"code", 5}}, 409},  // answered already
  };
  for (const Case& c : cases) EXPECT_EQ(c.status, board.answer(c.answer, &error)) << c.answer;
  EXPECT_EQ(json(5), host.get());
}

TEST(BrowserBoard, ASecondPageIsToldTheBoardIsHeld) {
  Board board({{"title", "t"}}, BoardTimes{});
  ASSERT_FALSE(connect(board).empty());
  EXPECT_EQ("", connect(board)) << "a second page is told the board is held";
}

TEST(BrowserBoard, APageThatComesLateOrReloadsGetsTheWholePictureAndTheOpenRequest) {
  Board board({{"title", "t"}}, BoardTimes{});
  board.put_object(3, R"({"tag":3})");
  board.put_object(4, R"({"tag":4})");
  board.remove_object(4);
  board.set_highlight(3, true);
  board.add_listing("line\n");
  auto host = std::async(std::launch::async, [&] {
    return board.ask({{"kind", "message"}}, take_it);
  });
  posted(board);
  for (int visit = 0; visit < 2; ++visit) {
    SCOPED_TRACE(visit);
    std::vector<std::string> frames;
    const std::string page = connect(board, &frames);
    ASSERT_EQ(4u, frames.size());
    EXPECT_EQ(0u, frames[0].rfind("event: hello\ndata: {\"page\":\"" + page + "\"", 0));
    EXPECT_EQ("event: scene\ndata: {\"objects\":[{\"tag\":3}],\"highlighted\":[3]}\n\n", frames[1]);
    EXPECT_EQ(0u, frames[2].rfind("event: listing", 0));
    EXPECT_EQ(0u, frames[3].rfind("event: request", 0));
    board.disconnected(page);
  }
  board.cancel("test over");
  EXPECT_FALSE(host.get().has_value());
}

TEST(BrowserBoard, ChangesFollowOnTheStream) {
  Board board({}, BoardTimes{});
  const std::string page = connect(board);
  std::vector<std::string> frames;
  EXPECT_TRUE(board.next_frames(page, 1ms, &frames));
  EXPECT_TRUE(frames.empty()) << "nothing new: a heartbeat goes out instead";
  board.put_object(7, R"({"tag":7})");
  board.set_highlight(7, true);
  EXPECT_TRUE(board.next_frames(page, 1s, &frames));
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ("event: object\ndata: {\"tag\":7}\n\n", frames[0]);
  EXPECT_EQ("event: highlight\ndata: {\"on\":true,\"tag\":7}\n\n", frames[1]);
}

TEST(BrowserBoard, StopSendsWhatWaitsThenEndsTheStream) {
  Board board({}, BoardTimes{});
  const std::string page = connect(board);
  board.end("bye");
  auto stopped = std::async(std::launch::async, [&] { board.stop(10s); });
  std::vector<std::string> frames;
  EXPECT_TRUE(board.next_frames(page, 1s, &frames)) << "what waits is sent first";
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(0u, frames[0].rfind("event: end", 0));
  frames.clear();
  EXPECT_FALSE(board.next_frames(page, 1s, &frames));
  board.disconnected(page);
  stopped.get();
  EXPECT_EQ("", connect(board)) << "no page once the server stops";
}

TEST(BrowserBoard, TheRunIsCancelledWhenThePageStaysAwayOrNeverComes) {
  struct Case {
    const char* name;
    bool page_comes;
    bool page_returns;  // within the reload time
    bool answered;
  };
  const Case cases[] = {
      {"no page ever", false, false, false},
      {"page closed", true, false, false},
      {"page reloaded", true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Board board({}, BoardTimes{300ms, 300ms});
    std::string page = c.page_comes ? connect(board) : "";
    auto host = std::async(std::launch::async, [&] {
      return board.ask({{"kind", "menu"}}, take_it);
    });
    const std::uint64_t id = posted(board);
    if (c.page_comes) board.disconnected(page);
    if (c.page_returns) {
      page = connect(board);
      std::string error;
      EXPECT_EQ(200, board.answer({{"page", page}, {"request", id}, {"code", 6}}, &error)) << error;
    }
    const auto answer = host.get();
    EXPECT_EQ(c.answered, answer.has_value());
    EXPECT_EQ(!c.answered, board.cancelled());
    // Once cancelled, every later request is cancelled at once.
    if (!c.answered) {
      EXPECT_FALSE(board.ask({{"kind", "menu"}}, take_it).has_value());
    }
  }
}

TEST(PageServer, ServesOnlyWithTheTokenToThePagesOwnOriginOnLoopback) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  struct Case {
    const char* host;
    const char* origin;
    const char* fetch_site;
    std::string token;
    bool served;
  };
  const Case cases[] = {
      {"127.0.0.1:4000", "", "none", token, true},
      {"127.0.0.1:4000", "http://127.0.0.1:4000", "same-origin", token, true},
      {"localhost:4000", "", "", token, true},  // older browsers send no fetch metadata
      {"[::1]:4000", "", "", token, true},
      {"127.0.0.1:4000", "", "", "", false},
      {"127.0.0.1:4000", "", "", token.substr(1) + "0", false},
      {"127.0.0.1:4000", "", "", token + "0", false},
      {"evil.example:4000", "", "", token, false},  // a name turned to point here
      {"127.0.0.1.evil.example", "", "", token, false},
      {"127.0.0.1:4000", "http://evil.example", "", token, false},
      {"127.0.0.1:4000", "http://localhost:4000", "", token, false},
      {"127.0.0.1:4000", "null", "", token, false},
      {"127.0.0.1:4000", "", "cross-site", token, false},
      {"127.0.0.1:4000", "", "same-site", token, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " " + c.origin + " " + c.fetch_site + " " + c.token);
    EXPECT_EQ(c.served,
              ufhost::browser::refusal(c.host, c.origin, c.fetch_site, c.token, token).empty());
  }
}
