// Every clickable picture of the tool: a push button drawn as a bitmap chosen by its control id
// and the session status. A page button drawn pressed while the tool is not busy records the
// page request (or, for Apply and Default, the busy button) before its click is handled.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <functional>

#include "core/model/settings_image.h"

namespace tessel {

// The picture for control `id`: pressed means drawn in its selected state. 0 when the id has
// no picture.
int ImageForButton(int id, bool pressed, const SessionStatus& status);

// What a screen reader says for control `id` in `status`: its name (the lamps say what their
// picture shows) and what pressing it does. Empty for an id with no words.
struct SpokenButton {
  QString name;
  QString description;
};
SpokenButton SpokenForButton(int id, const SessionStatus& status);

class CCownerDrawBton : public QAbstractButton {
  Q_OBJECT
 public:
  CCownerDrawBton(int id, SessionStatus& status, std::function<bool()> is_busy,
                  QWidget* parent = nullptr);

  int id() const { return id_; }
  int last_image() const { return last_image_; }
  QSize sizeHint() const override;
  // The lamps show a state; they are not pressed.
  bool is_lamp() const { return id_ == 1104 || id_ == 1105; }
  bool is_page_button() const { return id_ >= 1000 && id_ <= 1006; }
  // This page button's page is the one asked for (its picture shows it selected).
  bool page_selected() const;
  SpokenButton spoken() const { return SpokenForButton(id_, status_); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // What drawing the pressed state does; false when the tool is busy.
  bool RecordPress();

  int id_;
  SessionStatus& status_;
  std::function<bool()> is_busy_;
  // Tells a screen reader when the lamp's words or the page button's selection changed.
  void AnnounceChanges();

  int last_image_ = 0;
  QPixmap last_pixmap_;
  QString spoken_name_;
  bool spoken_selected_ = false;
};

}  // namespace tessel
