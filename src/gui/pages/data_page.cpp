#include "gui/pages/data_page.h"

#include <QApplication>
#include <QPainter>

#include "core/model/data_page.h"
#include "gui/app/layout.h"
#include "gui/app/skin.h"
#include "gui/app/text_fit.h"

namespace tessel {

CData::CData(PageContext context, QWidget* parent) : QWidget(parent), context_(std::move(context)) {
  setObjectName("Data");
  setFixedSize(ToQRect(kPageRect).size());
  background_.load(context_.skin_folder + "/" + QString::fromUtf8(kDataPageBackground.data()));
  SessionStatus& status = context_.tool.session().status;
  esc_indicator_ = new CCownerDrawBton(kEscIndicatorId, status, context_.is_busy(), this);
  esc_indicator_->setGeometry(ToQRect(kPageEscLamp));
  adapter_indicator_ = new CCownerDrawBton(kAdapterIndicatorId, status, context_.is_busy(), this);
  adapter_indicator_->setGeometry(ToQRect(kPageAdapterLamp));
  help_ = new QTextEdit(this);
  help_->setObjectName(QString("help_%1").arg(kDataHelpBoxId));
  help_->setGeometry(ToQRect(kHelpBoxRect));
  help_->setReadOnly(true);
  help_->setFrameStyle(QFrame::NoFrame);
  help_->setStyleSheet("QTextEdit { background: transparent; border: none; color: white; }");
  help_->viewport()->setAutoFillBackground(false);
  help_->setFocusPolicy(Qt::StrongFocus);
  help_->setTabChangesFocus(true);
  help_->setAccessibleName("Help");
  for (const DataFieldDef& f : DataFields()) {
    auto* box = new ValueBox(this);
    box->setObjectName(QString("value_%1").arg(f.value_box_id));
    box->setGeometry(ToQRect(OnValueColumn(f.value_box)));
    box->setFont(ValueFont());
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setFocusPolicy(Qt::StrongFocus);  // Tab walks the values and shows their help
    box->setStyleSheet("QLineEdit { background: transparent; border: none; color: black; }");
    QString help = QString::fromStdString(f.help);
    help.replace("\r\n", "\n");
    box->setAccessibleName(QString::fromUtf8(f.caption.data(), static_cast<int>(f.caption.size())));
    box->setAccessibleDescription(help.simplified());
    connect(box, &ValueBox::focused, this, [this, help] { help_->setPlainText(help); });
    boxes_.push_back(box);
  }
  // The values top to bottom, then the help on the right.
  for (size_t i = 1; i < boxes_.size(); ++i) setTabOrder(boxes_[i - 1], boxes_[i]);
  if (!boxes_.empty()) setTabOrder(boxes_.back(), help_);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    if (old == help_ || now == help_) update();
  });
  // The boxes stay empty until the first read or import.
}

void CData::ShowLoggedData() {
  const auto texts = LoggedDataTexts(context_.tool.session().image);
  for (size_t i = 0; i < boxes_.size() && i < texts.size(); ++i) {
    ShowValueText(*boxes_[i], QString::fromStdString(texts[i]));
  }
  update();
}

void CData::ShowValueBoxes() {
  for (ValueBox* box : boxes_) box->show();
  help_->show();
}

void CData::ClearHelp() {
  help_->setPlainText(" ");
}

void CData::RedrawIndicators() {
  esc_indicator_->update();
  adapter_indicator_->update();
}

void CData::paintEvent(QPaintEvent*) {
  {
    QPainter painter(this);
    PaintSkin(painter, rect(), background_, SkinFit::kStretch);
  }
  if (help_->hasFocus() && help_->isVisible()) PaintFocusFrame(*this, help_->geometry());
}

}  // namespace tessel
