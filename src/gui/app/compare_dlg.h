// File › "Compare with File…": the settings as the pages hold them against a settings file or
// a setup link, one row per field or curve that differs, the two sides labelled.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "core/model/setup_compare.h"

class QLabel;
class QTableWidget;

namespace tessel {

class CCorvaneDlg;

constexpr const char* kCompareWithFileText = "Compare with File…";
constexpr const char* kCompareCaption = "Compare with File";
constexpr const char* kNoDifferencesText = "No differences";
constexpr const char* kCompareLinkQuestion =
    "The clipboard holds a setup link. Compare the pages with it, or with a file?";
constexpr const char* kCompareLinkChoice = "Compare with Link";
constexpr const char* kChooseFileChoice = "Choose File…";

class CCompareDlg : public QDialog {
  Q_OBJECT
 public:
  CCompareDlg(const std::vector<SetupDifference>& differences, const QString& file,
              QWidget* parent = nullptr);

  QLabel* summary() const { return summary_; }
  QTableWidget* table() const { return table_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
};

// The menu command: asks for a file (or takes the setup link on the clipboard), collects the pages into the image (as Apply does,
// without sending), and shows the differences; a file that cannot be read shows the import
// error with its reason.
void CompareWithFile(CCorvaneDlg& window);

}  // namespace tessel
