// gelvar-monitor: the window program, or with --plot-log a log file drawn into a picture without a
// window. The command line is read before Qt starts, so that --help, --version and a mistake need
// no display.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/file_appender.h"
#include "gui/app/monitor_app.h"
#include "gui/app/plot_log.h"

namespace gelvar {
namespace {

constexpr char kUsage[] =
    "Usage: gelvar-monitor [--plot-log FILE --png OUT.png]\n"
    "Gelvar Monitor: the detector unit on a serial line, in a window.\n"
    "\n"
    "Options:\n"
    "  --plot-log FILE --png OUT.png\n"
    "              draw the variable log FILE into the picture OUT.png and end, without a window\n"
    "              or a display. Exit status 0 done, 1 FILE is not a log file that can be read\n"
    "              (the message names the line), 2 wrong options, 4 the picture could not be\n"
    "              written. OUT.png is a regular file or a new name, never FILE.\n"
    "  --screenshot-tour FOLDER\n"
    "              save a picture of each window in FOLDER and end (for the documentation;\n"
    "              needs a unit on COM 1)\n"
    "  --version   show the program's version and exit\n"
    "  -h, --help  show this text and exit\n"
    "An option's value may also follow it after '=' (--png=OUT.png). Qt's own options (-platform NAME,\n"
    "-style NAME, ...) are passed on to Qt.\n";

// Qt's own options, which its application object takes out of the command line.
constexpr std::string_view kQtOptionsWithValue[] = {
    "-platform",        "-platformpluginpath", "-platformtheme", "-plugin",
    "-qwindowgeometry", "-qwindowicon",        "-qwindowtitle",  "-session",
    "-style",           "-stylesheet",         "-display",       "-geometry"};
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount"};

struct CommandLine {
  std::string logPath;
  std::string pngPath;
  std::string tourFolder;
  std::vector<std::string> qtArguments;  // the program's name first
};

struct Option {
  std::string_view name;
  std::string CommandLine::*value;
};
constexpr Option kOptions[] = {{"--plot-log", &CommandLine::logPath},
                               {"--png", &CommandLine::pngPath},
                               {"--screenshot-tour", &CommandLine::tourFolder}};

template <typename List>
bool Holds(const List& list, std::string_view name) {
  return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

// The reason the command line is refused, empty when it is taken.
std::string Parse(const std::vector<std::string_view>& arguments, CommandLine& line) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (Holds(kQtFlags, argument) || Holds(kQtOptionsWithValue, argument)) {
      line.qtArguments.emplace_back(argument);
      if (Holds(kQtFlags, argument)) continue;
      if (i + 1 == arguments.size()) return std::string(argument) + " needs a value";
      line.qtArguments.emplace_back(arguments[++i]);
      continue;
    }
    const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string_view::npos;
    const std::string name(argument.substr(0, equals));
    const auto option =
        std::find_if(std::begin(kOptions), std::end(kOptions), [&](const Option& o) { return o.name == name; });
    if (option == std::end(kOptions)) {
      return argument.starts_with("-") ? "unknown option '" + name + "'"
                                       : "unexpected argument '" + std::string(argument) + "'";
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    }
    if (value.empty()) return name + " needs a file name";
    line.*(option->value) = value;
  }
  if (line.logPath.empty() != line.pngPath.empty()) {
    return line.logPath.empty() ? "--png needs --plot-log" : "--plot-log needs --png";
  }
  if (!line.logPath.empty() && !line.tourFolder.empty()) return "--screenshot-tour draws no log file";
  return {};
}

// argv for Qt's application object, which keeps it for the program's life.
struct QtCommandLine {
  explicit QtCommandLine(std::vector<std::string>& arguments) {
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
  }
  std::vector<char*> pointers;
  int argc() const { return static_cast<int>(pointers.size()) - 1; }
};

int Run(int argc, char** argv) {
  const int first = std::min(argc, 1);  // a program may be started with no name at all
  const std::vector<std::string_view> arguments(argv + first, argv + argc);
  // Whoever asks for help or the version gets it, whatever else the line holds.
  if (Holds(arguments, "--help") || Holds(arguments, "-h")) {
    std::fputs(kUsage, stdout);
    return kPlotDone;
  }
  if (Holds(arguments, "--version")) {
    std::printf("gelvar-monitor %s\n", GELVAR_VERSION);
    return kPlotDone;
  }
  CommandLine line;
  line.qtArguments.emplace_back(first == 1 ? argv[0] : "gelvar-monitor");
  if (const std::string refused = Parse(arguments, line); !refused.empty()) {
    std::fprintf(stderr, "gelvar-monitor: %s\n\n%s", refused.c_str(), kUsage);
    return kPlotUsage;
  }
  if (!line.tourFolder.empty()) line.qtArguments.push_back("--screenshot-tour=" + line.tourFolder);
  QtCommandLine qt(line.qtArguments);
  int qtArgc = qt.argc();
  if (!line.logPath.empty()) return PlotLogToPng(line.logPath, line.pngPath, qtArgc, qt.pointers.data());
  MonitorApp app(qtArgc, qt.pointers.data());
  return app.Startup();
}

}  // namespace
}  // namespace gelvar

int main(int argc, char* argv[]) {
  // Before anything is written: the picture as much as the log.
  gelvar::IgnoreFileSizeSignal();
  return gelvar::Run(argc, argv);
}
