// The manual page is written from the tables --help is written from.
#include <gtest/gtest.h>

#include <string>

#include "ufhost/app/cli/cli.h"
#include "ufhost/app/cli/manual.h"

namespace {

std::string roff(std::string text) {
  for (std::size_t at = 0; (at = text.find('-', at)) != std::string::npos; at += 2)
    text.replace(at, 1, "\\-");
  return text;
}

TEST(Manual, IsAManualPage) {
  const std::string page = ufhost::app::manual_page();
  EXPECT_EQ(0u, page.find(".TH UFHOST 1")) << page.substr(0, 80);
}

TEST(Manual, NamesEveryOptionOfEveryTable) {
  const std::string page = ufhost::app::manual_page();
  for (const ufhost::OptionDecl& decl : ufhost::app::run_option_table())
    EXPECT_NE(std::string::npos, page.find("\\fB" + roff(decl.name) + "\\fR")) << decl.name;
  for (const ufhost::app::ModeInfo& mode : ufhost::app::mode_table()) {
    EXPECT_NE(std::string::npos, page.find(".B ufhost " + roff(mode.name))) << mode.name;
    for (const ufhost::OptionDecl& decl : mode.options)
      EXPECT_NE(std::string::npos, page.find("\\fB" + roff(decl.name) + "\\fR"))
          << mode.name << " " << decl.name;
  }
}

TEST(Manual, GivesEveryExitStatus) {
  const std::string page = ufhost::app::manual_page();
  for (const auto& s : ufhost::app::run_exit_statuses())
    EXPECT_NE(std::string::npos, page.find(roff(s.meaning))) << s.meaning;
  for (const ufhost::app::ModeInfo& mode : ufhost::app::mode_table())
    for (const auto& s : mode.statuses)
      EXPECT_NE(std::string::npos, page.find(roff(s.meaning))) << mode.name << " " << s.meaning;
}

// No line starts with a character roff would take for a request.
TEST(Manual, NoLineStartsWithAQuote) {
  const std::string page = ufhost::app::manual_page();
  std::size_t at = 0;
  while ((at = page.find('\n', at)) != std::string::npos) {
    ++at;
    if (at < page.size() && page[at] == '\'') ADD_FAILURE() << page.substr(at, 40);
  }
}

}  // namespace
