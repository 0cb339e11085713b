#include "app/autorun.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>

#include <vector>

#include "monitor/monitor_controller.h"
#include "ui/widget_support.h"

namespace gelvar {
namespace {

TEST(Autorun, RunsItsStepsOnceTheWindowIsDrawnAndAnswersTheFileDialog) {
  QDialog window;
  std::vector<int> triggered;
  QString chosen;
  for (int command : {kCmdOpenLogFile, kCmdExit}) {
    auto* action = new QAction(&window);
    action->setData(command);
    window.addAction(action);
    QObject::connect(action, &QAction::triggered, &window, [&, command] {
      triggered.push_back(command);
      if (command == kCmdOpenLogFile) {
        chosen = ChooseFilePath(&window, FileAccess::kOpen, QStringLiteral("Gelvar.log"), QStringLiteral("log"));
      } else {
        window.accept();
      }
    });
  }
  StartAutorun(window, "log-file,quit");
  window.exec();
  EXPECT_EQ(triggered, (std::vector<int>{kCmdOpenLogFile, kCmdExit}));
  EXPECT_TRUE(chosen.endsWith(QStringLiteral("/Gelvar.log"))) << chosen.toStdString();
}

}  // namespace
}  // namespace gelvar
