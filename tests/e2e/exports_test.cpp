// What the host sees of the plug-in library: its exported entry points and
// the bytes of its texts.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

std::string dynamic_symbols(const std::string& library) {
  std::string out;
  FILE* pipe = popen(("nm -D --defined-only '" + library + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// A plug-in shares the host's process with others: anything it exports
// besides its entry points could bind in place of another library's symbol.
TEST(Exports, BothConfigurationsExportTheEntryPointsAndNothingElse) {
  for (const char* library : {PLUGIN_RELEASE, PLUGIN_DEBUG}) {
    SCOPED_TRACE(library);
    const std::string symbols = dynamic_symbols(library);
    std::vector<std::string> names;
    for (const std::string& line : testing_support::split_lines(symbols))
      names.push_back(line.substr(line.find_last_of(' ') + 1));
    EXPECT_EQ((std::vector<std::string>{"ufusr", "ufusr_ask_unload"}), names) << symbols;
    EXPECT_NE(std::string::npos, symbols.find(" T ufusr\n")) << symbols;
  }
}

TEST(Exports, TextsAreCodePage1251Bytes) {
  const std::string library = testing_support::read_file(PLUGIN_RELEASE);
  // "Габариты детали" in code page 1251, and not in UTF-8.
  const std::string cp1251 = "\xC3\xE0\xE1\xE0\xF0\xE8\xF2\xFB \xE4\xE5\xF2\xE0\xEB\xE8";
  EXPECT_NE(std::string::npos, library.find(cp1251));
  EXPECT_EQ(std::string::npos, library.find("Габариты детали"));
}

}  // namespace
