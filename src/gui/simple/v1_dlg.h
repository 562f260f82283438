// The one-page settings dialog of a V1-series ESC: eleven drop-down lists, "Read Settings",
// "Send Settings" and "Update Firmware", a status line and the two connection indicators.
//
// The dialog keeps its own selection per list, apart from the settings image. A list shows
// the stored selection whenever the controls are refreshed; what the user picks becomes the
// stored selection only when "Send Settings" takes the lists. So any refresh before that (a
// click on the background, a read, a status change) puts the lists back to the stored choice.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "core/app/tool.h"
#include "core/model/v1_settings.h"
#include "gui/app/owner_draw_button.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tessel {

class CV1Dlg : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kStatusMaxLength = 50;

  CV1Dlg(Tool& tool, const QString& skin_folder, QWidget* parent);

  // Draws the tool's V1 view: the stored selections, the BEC row for the block the ESC sent,
  // and the dialog's status line.
  void Render();
  void RedrawIndicators();

  // For the main window and tests.
  QComboBox* list(int i) const { return lists_[static_cast<size_t>(i)]; }
  QLabel* label(int i) const { return labels_[static_cast<size_t>(i)]; }
  int32_t stored(int i) const { return tool_.pages().v1_stored()[static_cast<size_t>(i)]; }
  QString status_text() const;
  CCownerDrawBton* read_button() const { return read_; }
  CCownerDrawBton* send_button() const { return send_; }
  CCownerDrawBton* update_button() const { return update_; }
  CCownerDrawBton* esc_indicator() const { return esc_indicator_; }
  CCownerDrawBton* usb_indicator() const { return usb_indicator_; }
  bool has_background() const { return !background_.isNull(); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void ShowStatus(const QString& text);
  void ShowBec(bool show);

  Tool& tool_;
  bool rendering_ = false;
  std::array<QLabel*, kV1SettingCount> labels_{};
  std::array<QComboBox*, kV1SettingCount> lists_{};
  CCownerDrawBton* read_ = nullptr;
  CCownerDrawBton* send_ = nullptr;
  CCownerDrawBton* update_ = nullptr;
  CCownerDrawBton* esc_indicator_ = nullptr;
  CCownerDrawBton* usb_indicator_ = nullptr;
  QLineEdit* status_ = nullptr;
  QPixmap background_;
};

}  // namespace tessel
