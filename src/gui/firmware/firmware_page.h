// The information page: what the connected device is (device type, hardware text, software
// version) and the "UpData" button that starts a firmware update over the open adapter. The
// page never talks to the device; the session fills the texts and the page re-reads them
// when it is told to refresh.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>

#include "core/app/tool.h"
#include "gui/app/owner_draw_button.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QTextEdit;

namespace tessel {

class ValueBox;

class CFirmware : public QWidget {
  Q_OBJECT
 public:
  CFirmware(Tool& tool, const QString& skin_folder, QWidget* parent);

  // Shows the device and hardware fields, then the ESC view ("CAR ESC", "b3.bmp", software
  // field) or the LCD program box view ("LCD PROGRAM", "b2.bmp", no software field).
  virtual void RefreshDeviceView();
  void HideVersionFields();
  // "TURBO" for an ESC; the adapter's version while the LCD program box is shown.
  void SetHardwareText(const QString& text);
  // The session has stored a new version text: show it.
  void ShowSoftwareVersion();

  // For tests.
  QLineEdit* device_box() const;
  QLineEdit* hardware_box() const;
  QLineEdit* software_box() const;
  QTextEdit* help_box() const { return help_; }
  CCownerDrawBton* updata_button() const { return updata_; }
  const QString& background_file() const { return background_file_; }
  QListWidget* version_list() const { return version_list_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RefreshControls();
  void SetHelp(const QString& text);
  void LoadBackground(const QString& file);
  void OnUpData();

  Tool& tool_;
  Session& session_;
  QString skin_folder_;
  QPixmap background_;
  QString background_file_;
  QComboBox* version_combo_ = nullptr;   // 1147, hidden
  QListWidget* version_list_ = nullptr;  // 1069, hidden
  ValueBox* device_ = nullptr;           // 1064
  ValueBox* hardware_ = nullptr;         // 1065
  ValueBox* software_ = nullptr;         // 1066
  CCownerDrawBton* updata_ = nullptr;    // 1034
  QTextEdit* help_ = nullptr;            // 1035

  QString device_text_;
  QString hardware_text_;
  QString software_text_;
  QString help_text_;
};

}  // namespace tessel
