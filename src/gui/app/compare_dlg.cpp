#include "gui/app/compare_dlg.h"

#include <QDialogButtonBox>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/model/settings_file.h"
#include "core/model/setup_link.h"
#include "core/model/setup_load.h"
#include "gui/app/corvane_dlg.h"

namespace tessel {

CCompareDlg::CCompareDlg(const std::vector<SetupDifference>& differences, const QString& file,
                         QWidget* parent)
    : QDialog(parent) {
  setObjectName("compare_dialog");
  setWindowTitle(kCompareCaption);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName("compare_summary");
  summary_->setWordWrap(true);
  const QString name = QFileInfo(file).fileName();
  summary_->setText(
      differences.empty()
          ? QString("%1: this ESC (as the pages show it) and %2 hold the same settings.")
                .arg(kNoDifferencesText, name)
          : QString("This ESC (as the pages show it) against %1: %2 difference%3.")
                .arg(name)
                .arg(differences.size())
                .arg(differences.size() == 1 ? "" : "s"));
  summary_->setToolTip(file);
  layout->addWidget(summary_);

  table_ = new QTableWidget(static_cast<int>(differences.size()), 3, this);
  table_->setObjectName("compare_table");
  table_->setHorizontalHeaderLabels({"Setting", "This ESC", "File"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(true);
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  for (size_t i = 0; i < differences.size(); ++i) {
    const SetupDifference& d = differences[i];
    const int row = static_cast<int>(i);
    auto* setting = new QTableWidgetItem(QString::fromStdString(d.label));
    setting->setToolTip(QString::fromStdString(d.name));
    table_->setItem(row, 0, setting);
    for (int column : {1, 2}) {
      const QString text = QString::fromStdString(column == 1 ? d.first : d.second);
      auto* item = new QTableWidgetItem(text);
      item->setToolTip(text);
      table_->setItem(row, column, item);
    }
  }
  table_->setVisible(!differences.empty());
  layout->addWidget(table_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(differences.empty() ? QSize(420, 120) : QSize(680, 380));
}

void CCompareDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Row heights follow the column widths, which are known only once the dialog is laid out.
  table_->resizeRowsToContents();
}

namespace {

// A setup link on the clipboard (File › Share Setup of the web edition, tesselarc-cli share)
// is offered first; "Choose File…" goes on to the file dialog.
std::optional<std::string> ChooseSetup(CCorvaneDlg& window) {
  const QString clipboard = QGuiApplication::clipboard()->text();
  if (clipboard.size() <= static_cast<qsizetype>(kMaxSetupLinkLength) &&
      IsSetupLink(clipboard.toStdString())) {
    const Answer answer = window.AskQuestion(
        Question{kCompareLinkQuestion, kCompareCaption, Buttons::kYesNoCancel, {}, {},
                 {kCompareLinkChoice, kChooseFileChoice, "Cancel"}});
    if (answer == Answer::kYes) return clipboard.trimmed().toStdString();
    if (answer != Answer::kNo) return std::nullopt;
  }
  return window.ChooseOpenFile(kSettingsFileFilter);
}

}  // namespace

void CompareWithFile(CCorvaneDlg& window) {
  Session& session = window.session();
  if (session.IsBusy() || session.status.device_class != kDeviceFull) return;
  const std::optional<std::string> picked = ChooseSetup(window);
  if (!picked) return;
  // Messages name a link as "the setup link", not by its kilobyte of letters.
  const std::optional<std::string> chosen = SetupSourceName(*picked);
  // What Apply would send: the pages and the curve editors collected into the image.
  window.CollectPageSelections();
  session.LoadAllCurves();
  // Read over the image, so that fields a JSON setup leaves out count as this ESC's own.
  EscSettingsImage file_image;
  SetupInfo kind;
  std::string error;
  const bool loaded = LoadSetupForDiff(*picked, file_image, error, &kind, &session.image);
  if (loaded && kind.device_class == kDeviceV1) {
    error = *chosen + " holds the settings of a V1-series ESC; this is a full ESC";
  }
  if (!loaded || kind.device_class == kDeviceV1) {
    // The box keeps the import error's text; the reason goes under it, as an import shows it.
    const std::string prefix = std::string(kImportErrorText) + " ";
    const std::string reason = error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
    window.AskQuestion(Question{kImportErrorText, kCompareCaption, Buttons::kOk, reason, {}, {}});
    window.ReportFailure("Compare failed: " + reason);
    return;
  }
  const std::vector<SetupDifference> differences =
      CompareSetups(session.image, file_image, CompareScope::kFile);
  window.ReportOutcome(differences.empty()
                           ? std::string(kNoDifferencesText) + " from " + *chosen
                           : std::to_string(differences.size()) + " difference" +
                                 (differences.size() == 1 ? "" : "s") + " from " + *chosen);
  CCompareDlg dialog(differences, QString::fromStdString(*chosen), &window);
  dialog.exec();
}

}  // namespace tessel
