#include "gui/monitor/device_chooser_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/monitor/monitor_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

using namespace chooser_ids;
constexpr std::int32_t kRefreshMs = 1000;

QString Local(const std::string& text) { return QFile::decodeName(text.c_str()); }

}  // namespace

DeviceChooserDialog::DeviceChooserDialog(TimerHost& timers, SerialDiscovery& discovery, ComDeviceMap& devices)
    : timers_(timers), discovery_(discovery), devices_(devices) {
  setWindowTitle(QStringLiteral("Choose Serial Device"));
  prompt_ = new QLabel(this);
  list_ = Numbered(new QTreeWidget(this), kIdList);
  list_->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description")});
  list_->setRootIsDecorated(false);
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  list_->setMinimumWidth(DialogUnits(font()).Size(300, 0).width());
  note_ = Numbered(new QLabel(this), kIdNote);
  note_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = Numbered(buttons->button(QDialogButtonBox::Ok), kIdOk);
  Numbered(buttons->button(QDialogButtonBox::Cancel), kIdCancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { ok_->setEnabled(!list_->selectedItems().isEmpty()); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt_);
  layout->addWidget(list_, 1);
  layout->addWidget(note_);
  layout->addWidget(buttons);
}

void DeviceChooserDialog::Run(int portNumber) {
  portNumber_ = portNumber;
  prompt_->setText(QStringLiteral("Device for COM %1:").arg(portNumber));
  shown_.clear();
  list_->clear();
  Fill();
  std::string selected = devices_.Chosen(portNumber);
  if (selected.empty()) selected = devices_.Resolve(portNumber).path;
  for (int row = 0; row < list_->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    item->setSelected(item->text(0) == Local(selected));
  }
  ok_->setEnabled(!list_->selectedItems().isEmpty());
  const TimerId refresh = timers_.StartTimer(kRefreshMs, [this] { Fill(); });
  CenterOverActiveWindow(this);
  const bool chosen = exec() == QDialog::Accepted && !list_->selectedItems().isEmpty();
  timers_.StopTimer(refresh);
  if (!chosen) return;
  const std::string path = QFile::encodeName(list_->selectedItems().front()->text(0)).toStdString();
  std::string reason;
  if (!devices_.Choose(portNumber, path, reason)) {
    ShowAppMessage(
        this, QStringLiteral("The device for COM %1 could not be remembered: %2").arg(portNumber).arg(Local(reason)));
  }
}

void DeviceChooserDialog::Fill() {
  std::vector<SerialDeviceEntry> present = discovery_.Devices();
  const bool same = present.size() == shown_.size() &&
                    std::equal(present.begin(), present.end(), shown_.begin(), [](const auto& a, const auto& b) {
                      return a.path == b.path && a.description == b.description;
                    });
  if (!same) {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    const QString keep = selected.isEmpty() ? QString() : selected.front()->text(0);
    list_->clear();
    for (const SerialDeviceEntry& device : present) {
      auto* item = new QTreeWidgetItem(list_, {Local(device.path), Local(device.description)});
      item->setSelected(item->text(0) == keep);
    }
    shown_ = std::move(present);
  }
  ShowNote();
}

void DeviceChooserDialog::ShowNote() {
  QStringList notes;
  if (shown_.empty()) notes << QStringLiteral("No serial device found. Plug the adapter in: the list follows.");
  const ComDevice current = devices_.Resolve(portNumber_);
  if (current.source == ComSource::kVariable) {
    notes << QStringLiteral("%1 is set to %2 and wins over the choice made here.")
                 .arg(QString::fromStdString(ComVariableName(portNumber_)), Local(current.path));
  }
  note_->setText(notes.join(u'\n'));
  note_->setHidden(notes.isEmpty());
}

}  // namespace gelvar
