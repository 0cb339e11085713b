#include "monitor/monitor_dialog.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/widget_support.h"
#include "tools/protocol_window.h"

namespace gelvar {
namespace {

constexpr int kDefaultComPort = 1;

enum Command {
  kOpenComPort = 32775,
  kCloseComPort = 32776,
  kExit = 32779,
  kShowProtocolWindow = 32784,
};

}  // namespace

MonitorDialog::MonitorDialog(ProtocolWindow& protocolWindow) : protocolWindow_(protocolWindow) {
  setWindowTitle(QString::fromLatin1(kAppTitle));
  auto* menuBar = new QMenuBar(this);
  QMenu* communication = menuBar->addMenu(QStringLiteral("Communication"));
  const auto addCommand = [this, communication](const QString& text, Command command, auto handler) {
    QAction* action = communication->addAction(text);
    action->setData(static_cast<int>(command));
    connect(action, &QAction::triggered, this, handler);
  };
  addCommand(QStringLiteral("Open COM-Port"), kOpenComPort, [this] { OpenComPort(); });
  addCommand(QStringLiteral("Close COM-Port"), kCloseComPort, [this] { CloseComPort(); });
  communication->addSeparator();
  addCommand(QStringLiteral("Show Protocol Window"), kShowProtocolWindow, [this] { protocolWindow_.show(); });
  communication->addSeparator();
  addCommand(QStringLiteral("Exit"), kExit, [this] { Exit(); });

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menuBar);
  layout->addWidget(new QLabel(QStringLiteral("Messages:"), this));
  messages_ = new QPlainTextEdit(this);
  messages_->setReadOnly(true);
  messages_->setProperty(kControlIdProperty, 1082);
  layout->addWidget(messages_);
  portStatus_ = new QLabel(this);
  portStatus_->setProperty(kControlIdProperty, 1079);
  layout->addWidget(portStatus_);
  SetPortOpen(false);
  const DialogUnits units(font());
  resize(units.Size(240, 160));
}

void MonitorDialog::OpenComPort() {
  if (portOpen_) {
    AddMessage(QStringLiteral("E> COM Port already open"));
    return;
  }
  if (protocolWindow_.OpenChannel(0, kDefaultComPort) == 0) return;  // the port has told the user
  SetPortOpen(true);
  AddMessage(QStringLiteral("I> COM Port Opened"));
}

void MonitorDialog::CloseComPort() {
  if (portOpen_) protocolWindow_.CloseChannel(0);
  SetPortOpen(false);
  AddMessage(QStringLiteral("I> COM Port Closed"));
}

void MonitorDialog::Exit() {
  protocolWindow_.CloseChannel(0);
  accept();
}

void MonitorDialog::AddMessage(const QString& line) {
  // Newest line first.
  messages_->setPlainText(line + (messages_->document()->isEmpty() ? QString() : u'\n' + messages_->toPlainText()));
}

void MonitorDialog::SetPortOpen(bool open) {
  portOpen_ = open;
  portStatus_->setText(open ? QStringLiteral("COM Port Open") : QStringLiteral("COM Port Closed"));
}

}  // namespace gelvar
