// Each manual page names the options its program's --help names, no more and no fewer, so that
// neither goes stale when an option comes or goes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

using Options = std::set<std::string>;

struct ManPage {
  const char* name;
  std::string program;
  std::string page;
  bool helpMayBeMissing;  // --help is still to come; until then the page cannot be checked
};

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Help {
  int exitStatus;
  std::string text;
};

// A window program without --help would open its window: it runs offscreen and is told to quit.
Help RunHelp(const std::string& program) {
  const std::string command =
      "QT_QPA_PLATFORM=offscreen GELVAR_AUTORUN=quit timeout 30 '" + program + "' --help 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// The text of a man page's source as it reads: the fonts of the alternating-font macros (.BR, .BI,
// ...) join their arguments without a space, the other macros' arguments are taken as words, and
// the escapes of hyphens and fonts are resolved.
std::string PageText(const std::string& source) {
  static const std::regex kAlternating(R"(^\.(BR|BI|IB|IR|RB|RI)\s)");
  static const std::regex kArgument(R"re("([^"]*)"|(\S+))re");
  static const std::regex kEscapes(R"(\\f[BIRP]|\\f\(\w\w|\\[&%]|\\\(lq|\\\(rq)");
  std::istringstream lines(source);
  std::string text;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(".")) {
      const bool alternating = std::regex_search(line, kAlternating);
      const std::size_t space = line.find(' ');
      const std::string arguments = space == std::string::npos ? "" : line.substr(space + 1);
      for (std::sregex_iterator it(arguments.begin(), arguments.end(), kArgument), end; it != end; ++it) {
        text += (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        if (!alternating) text += ' ';
      }
    } else {
      text += line;
    }
    text += '\n';
  }
  text = std::regex_replace(text, kEscapes, "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  return std::regex_replace(text, std::regex(R"(\\e)"), "\\");
}

// --long and -s options as a reader would spot them: not part of a word such as Ctrl-C or by-id.
Options OptionsIn(const std::string& text) {
  static const std::regex kOption(R"((?:^|[^\w-])(--[a-z][a-z0-9-]*[a-z0-9]|-[A-Za-z])(?![\w-]))");
  Options options;
  for (std::sregex_iterator it(text.begin(), text.end(), kOption), end; it != end; ++it) options.insert((*it)[1]);
  return options;
}

// The options a page gives its program. Its examples are left out: they show other commands too
// (systemctl, a second program beside this one).
Options OptionsInPage(const std::string& source) {
  std::istringstream lines(source);
  std::string kept;
  bool inExamples = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(".SH ")) inExamples = line == ".SH EXAMPLES";
    if (!inExamples) kept += line + '\n';
  }
  return OptionsIn(PageText(kept));
}

class ManPageTest : public ::testing::TestWithParam<ManPage> {};

TEST_P(ManPageTest, NamesTheOptionsOfHelpAndNoOthers) {
  const ManPage& row = GetParam();
  const Help help = RunHelp(row.program);
  const bool printsUsage = help.text.find("Usage") != std::string::npos || help.text.find("usage") != std::string::npos;
  if (row.helpMayBeMissing && (help.exitStatus != 0 || !printsUsage)) {
    GTEST_SKIP() << row.program << " --help exits with " << help.exitStatus
                 << " and prints no usage: nothing to compare the page with yet";
  }
  ASSERT_EQ(help.exitStatus, 0) << help.text;
  const std::string page = FileText(std::string(GELVAR_MAN_DIR) + "/" + row.page);
  ASSERT_FALSE(page.empty()) << row.page;

  EXPECT_EQ(OptionsInPage(page), OptionsIn(help.text)) << "left: " << row.page << ", right: --help";
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ManPageTest,
    ::testing::Values(ManPage{"gelvar_monitor", GELVAR_MONITOR_PATH, "gelvar-monitor.1", true},
                      ManPage{"gelvar_cli", GELVAR_CLI_PATH, "gelvar-cli.1", false},
                      ManPage{"gelvar_unit_sim", GELVAR_SIM_PATH, "gelvar-unit-sim.1", false}),
    [](const ::testing::TestParamInfo<ManPage>& info) { return std::string(info.param.name); });

// The reading of the pages themselves: a page that hid its options from the comparison would pass.
struct PageLine {
  const char* name;
  const char* source;
  const char* options;  // as OptionsIn finds them, space-separated
};

class PageTextTest : public ::testing::TestWithParam<PageLine> {};

TEST_P(PageTextTest, FindsTheOptionsAsTheReaderSeesThem) {
  const PageLine& row = GetParam();
  std::istringstream expected(row.options);
  const Options wanted{std::istream_iterator<std::string>(expected), std::istream_iterator<std::string>()};
  EXPECT_EQ(OptionsInPage(row.source), wanted);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PageTextTest,
    ::testing::Values(PageLine{"bold_with_value", ".BI \\-\\-com \" N\"\n", "--com"},
                      PageLine{"joined_by_alternating_fonts", ".BI \\-\\-option= VALUE\\fR.\n", "--option"},
                      PageLine{"short_and_long", ".BR \\-v \", \" \\-\\-verbose\n", "-v --verbose"},
                      PageLine{"inside_a_font_escape", "with \\fB\\-\\-json\\fR as well\n", "--json"},
                      PageLine{"in_a_synopsis", ".RB [ \\-\\-yes ]\n", "--yes"},
                      PageLine{"hyphenated_words", "Ctrl\\-C, by\\-id, UTF\\-8, \\-platform\n", ""},
                      PageLine{"not_in_examples", ".SH EXAMPLES\nsystemctl enable \\-\\-now u\n.SH SEE ALSO\n", ""},
                      PageLine{"after_the_examples", ".SH EXAMPLES\n.SH FILES\n.B \\-\\-file\n", "--file"}),
    [](const ::testing::TestParamInfo<PageLine>& info) { return std::string(info.param.name); });

}  // namespace
