// Texts for the terminal and JSON, the progress line, and the sensor test's log pane as entries.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/console.h"
#include "cli/console_text.h"
#include "cli/console_view.h"
#include "support/virtual_scheduler.h"

namespace gelvar {
namespace {

struct TextCase {
  std::string in;
  std::string terminal;
};

class TerminalTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(TerminalTexts, AreUtf8) {
  EXPECT_EQ(TerminalText(GetParam().in), GetParam().terminal);
  EXPECT_TRUE(IsValidUtf8(TerminalText(GetParam().in)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalTexts,
    ::testing::Values(TextCase{"plain", "plain"},
                      TextCase{"  3 \xB0" "C", "  3 \xC2\xB0" "C"},                    // the core's degree sign
                      TextCase{"Fehler \xD6" "ffnen: x", "Fehler \xC3\x96" "ffnen: x"},  // the pump's message
                      TextCase{"\x80\x81\x9F", "\xE2\x82\xAC\xC2\x81\xC5\xB8"},          // euro, free code, Y umlaut
                      // A path the user typed in UTF-8 stays as it is.
                      TextCase{"' /tmp/m\xC3\xBCll.log '", "' /tmp/m\xC3\xBCll.log '"},
                      // Anything not well-formed UTF-8 is taken as Windows-1252 as a whole.
                      TextCase{"\xC3\xBC \xB0", "\xC3\x83\xC2\xBC \xC2\xB0"},
                      TextCase{"\xE0\x80\x80", "\xC3\xA0\xE2\x82\xAC\xE2\x82\xAC"},  // overlong
                      TextCase{"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},      // surrogate
                      TextCase{"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"}));

TEST(Json, EscapesWhatJsonMustAndKeepsOrder) {
  EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01\xC2\xB0"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\xC2\xB0\"");
  JsonObject object;
  object.String("z", "1").Number("a", -2).Raw("m", JsonArray({"1", JsonString("x")}));
  EXPECT_EQ(object.Text(), "{\"z\":\"1\",\"a\":-2,\"m\":[1,\"x\"]}");
  EXPECT_EQ(JsonArray({}), "[]");
}

TEST(ConsoleProgress, StaysBelowTheLinesOnATerminalOnly) {
  std::ostringstream out;
  std::ostringstream err;
  Console terminal(out, err, true);
  terminal.Progress("p 1/2");
  terminal.Err("E> x");
  terminal.Out("v: 1");
  terminal.Progress("");
  EXPECT_EQ(err.str(), "p 1/2\r\x1b[KE> x\np 1/2\r\x1b[Kp 1/2\r\x1b[K");
  EXPECT_EQ(out.str(), "v: 1\n");

  std::ostringstream out2;
  std::ostringstream err2;
  Console pipe(out2, err2, false);
  pipe.Progress("p 1/2");
  pipe.Err("E> x");
  EXPECT_EQ(err2.str(), "E> x\n");

  EXPECT_EQ(ProgressText("Reading", 9, 18), "Reading  9/18 [##########----------]");
  EXPECT_EQ(ProgressText("Reading", 20, 18), "Reading  18/18 [####################]");
  EXPECT_EQ(ProgressText("Reading", 3, 0), "Reading");
}

TEST(ConsoleSensorView, HandsOnEachNewEntryOnce) {
  std::ostringstream out;
  std::ostringstream err;
  Console console(out, err, false);
  testing::VirtualScheduler timers;
  SensorTest test(timers);
  ConsoleSensorView view(console, test);
  std::vector<std::string> entries;
  view.onEntry = [&](const std::string& entry) { entries.push_back(entry); };

  const auto show = [&](const std::string& pane) {
    test.logText = pane;
    view.Refresh();
  };
  show("");
  show("a\r\n");
  show("a\r\n");
  show("b1\r\nb2\r\na\r\n");
  show("c\r\n");  // the pane was emptied, then filled again
  EXPECT_EQ(entries, (std::vector<std::string>{"a", "b1\r\nb2", "c"}));
}

}  // namespace
}  // namespace gelvar
