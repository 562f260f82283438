#include "gui/firmware/esc_process_dlg.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "gui/app/layout.h"
#include "gui/app/window_place.h"

namespace tessel {

CEscProcessDlg::CEscProcessDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Esc Process......");
  setModal(false);
  // A tool window stays above its owner while it shows.
  // It never takes the focus from the window the user works in.
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                 Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  caption_ = new QLabel(windowTitle(), this);
  caption_->setObjectName("caption");
  caption_->setStyleSheet("QLabel { color: #ffffff; background: transparent; }");
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  caption_->setFont(font);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("bar_1163");
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setStyleSheet(
      "QProgressBar { background: #16191c; border: 1px solid #3b434c; border-radius: 3px; }"
      "QProgressBar::chunk { background: #36c2b0; }");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 8, 12, 10);
  layout->setSpacing(6);
  layout->addWidget(caption_);
  layout->addWidget(bar_);
  setStyleSheet("QDialog { background: #1f2328; }");
  setEnabled(false);
  if (owner != nullptr) owner->window()->installEventFilter(this);
  Place();
  hide();
}

void CEscProcessDlg::Place() {
  const QWidget* owner = parentWidget();
  if (owner == nullptr) return;
  // The template's width, its height from what it holds.
  const QSize size(DluToPx(ProgressWindow().client).w, sizeHint().height());
  PlaceOver(*this, *owner, size);
}

bool CEscProcessDlg::eventFilter(QObject* watched, QEvent* event) {
  if (isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
      watched == parentWidget()->window()) {
    Place();
  }
  return QDialog::eventFilter(watched, event);
}

void CEscProcessDlg::SetProgress(uint32_t total, uint32_t done) {
  const uint32_t pos = total == 0 ? 0 : done * 100u / total;
  bar_->setValue(static_cast<int>(pos > 100 ? 100 : pos));
}

void CEscProcessDlg::SetCaption(const QString& caption) {
  setWindowTitle(caption);
  caption_->setText(caption);
}

QString CEscProcessDlg::caption() const {
  return caption_->text();
}

int CEscProcessDlg::position() const {
  return bar_->value();
}

void CEscProcessDlg::Close() {
  hide();
}

}  // namespace tessel
