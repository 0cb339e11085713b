// Answers the modal dialogs that a test provokes: one queued action per dialog, in the order the
// dialogs come up. An action gets the dialog once it is up and closes it (or leaves it open while
// it drives it). A dialog that comes up with no action queued fails the test and is closed, so that
// no test hangs in a modal loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace gelvar::testing {

class ModalAnswers : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalAnswers() { PollSoon(); }
  ~ModalAnswers() override { EXPECT_TRUE(actions_.empty()) << actions_.size() << " dialog(s) never came up"; }

  void Then(Action action) { actions_.push_back(std::move(action)); }

  // A message box: its text goes to *text (when given), then `button` is clicked.
  void ThenBox(QMessageBox::StandardButton button, QString* text = nullptr, QMessageBox::Icon* icon = nullptr,
               QMessageBox::StandardButton* defaultButton = nullptr) {
    Then([=](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      ASSERT_NE(box, nullptr) << "expected a message box, got " << widget->windowTitle().toStdString();
      if (text != nullptr) *text = box->text();
      if (icon != nullptr) *icon = box->icon();
      if (defaultButton != nullptr) *defaultButton = box->standardButton(box->defaultButton());
      box->button(button)->click();
    });
  }

  // A file dialog: `check` looks at what it offers, then `name` in `folder` is chosen.
  void ThenFile(const QString& folder, const QString& name, std::function<void(QFileDialog*)> check) {
    Then([=](QWidget* widget) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      ASSERT_NE(dialog, nullptr) << "expected a file dialog, got " << widget->windowTitle().toStdString();
      check(dialog);
      dialog->setDirectory(folder);
      dialog->selectFile(name);
      static_cast<QDialog*>(dialog)->accept();
    });
  }

 private:
  // A fresh single-shot each time: a repeating timer would not fire again inside the nested loop of
  // a dialog that its own action opened.
  void PollSoon() {
    QTimer::singleShot(2, this, [this] { Poll(); });
  }

  void Poll() {
    PollSoon();
    ForgetClosed();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || Handled(modal)) return;
    handled_.emplace_back(modal);
    if (actions_.empty()) {
      ADD_FAILURE() << "unexpected dialog: " << modal->windowTitle().toStdString();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    const Action action = std::move(actions_.front());
    actions_.pop_front();
    action(modal);
    ForgetClosed();
  }

  // A dialog that closed may come up again (the program reuses its dialogs): it is new then.
  void ForgetClosed() {
    std::erase_if(handled_, [](const QPointer<QWidget>& seen) { return seen.isNull() || !seen->isVisible(); });
  }

  bool Handled(const QWidget* widget) const {
    for (const QPointer<QWidget>& seen : handled_) {
      if (seen == widget) return true;
    }
    return false;
  }

  std::deque<Action> actions_;
  std::vector<QPointer<QWidget>> handled_;
};

}  // namespace gelvar::testing
