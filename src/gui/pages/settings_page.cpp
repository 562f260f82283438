#include "gui/pages/settings_page.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "core/model/page_rules.h"
#include "gui/app/layout.h"
#include "gui/app/skin.h"
#include "gui/app/text_fit.h"

namespace tessel {

namespace {

QString HelpText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  return s;
}

const char* const kValueBoxStyle =
    "QLineEdit { background: transparent; border: none; color: black; }"
    "QLineEdit:disabled { color: #7f8a95; }";
const char* const kListStyle =
    "QListWidget { background: #f4f7fa; color: black; border: 1px solid #3b434c; }"
    "QListWidget::item:selected { background: #36c2b0; color: #10151a; }";
const char* const kHelpStyle = "QTextEdit { background: transparent; border: none; color: white; }";
const QColor kFocusColour(0x36, 0xc2, 0xb0);

}  // namespace

bool IsOpenListKey(const QKeyEvent& event) {
  const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_F4:
      return mods == Qt::NoModifier;
    case Qt::Key_Down:
      return mods == Qt::AltModifier;
    default:
      return false;
  }
}

void PaintFocusFrame(QWidget& parent, const QRect& area) {
  QPainter painter(&parent);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kFocusColour, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(area).adjusted(-2, -2, 2, 2), 4, 4);
}

void ValueBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  emit focused();
  // Tab only brings the keyboard here; a click asks for the list at once.
  if (event->reason() == Qt::MouseFocusReason) emit openRequested();
}

void ValueBox::mousePressEvent(QMouseEvent* event) {
  // The box kept the keyboard after a choice: a click on it opens the list again.
  const bool had_focus = hasFocus();
  QLineEdit::mousePressEvent(event);
  if (had_focus && event->button() == Qt::LeftButton) emit openRequested();
}

void ValueBox::keyPressEvent(QKeyEvent* event) {
  if (IsOpenListKey(*event)) {
    emit openRequested();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void ValueBox::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  if (!hasFocus()) return;
  // The box is transparent over the picture: the frame is all that shows where the keyboard is.
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kFocusColour, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
}

CSettingsPage::CSettingsPage(const PageDef& def, PageContext context, QWidget* parent)
    : QWidget(parent), def_(def), context_(std::move(context)) {
  setObjectName(QString::fromUtf8(def.name.data(), static_cast<int>(def.name.size())));
  setFixedSize(ToQRect(kPageRect).size());
  background_.load(
      context_.skin_folder + "/" +
      QString::fromUtf8(def.background.data(), static_cast<int>(def.background.size())));

  esc_indicator_ = new CCownerDrawBton(kEscIndicatorId, status(), context_.is_busy(), this);
  esc_indicator_->setGeometry(ToQRect(kPageEscLamp));
  adapter_indicator_ =
      new CCownerDrawBton(kAdapterIndicatorId, status(), context_.is_busy(), this);
  adapter_indicator_->setGeometry(ToQRect(kPageAdapterLamp));

  help_ = new QTextEdit(this);
  help_->setObjectName(QString("help_%1").arg(def.help_box_id));
  help_->setGeometry(ToQRect(kHelpBoxRect));
  help_->setReadOnly(true);
  help_->setFrameStyle(QFrame::NoFrame);
  help_->setStyleSheet(kHelpStyle);
  help_->viewport()->setAutoFillBackground(false);
  // The help box is read with the keyboard too; Tab leaves it for the next control.
  help_->setFocusPolicy(Qt::StrongFocus);
  help_->setTabChangesFocus(true);
  help_->setAccessibleName("Help");

  for (size_t i = 0; i < def.settings.size(); ++i) {
    const SettingDef& s = def.settings[i];
    auto* box = new ValueBox(this);
    box->setObjectName(QString("value_%1").arg(s.value_box_id));
    box->setGeometry(ToQRect(OnValueColumn(s.value_box)));
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setMaxLength(s.max_text);
    box->setFocusPolicy(Qt::StrongFocus);
    box->setStyleSheet(kValueBoxStyle);
    const QString caption = QString::fromUtf8(s.caption.data(), static_cast<int>(s.caption.size()));
    box->setAccessibleName(caption);
    box->setAccessibleDescription(HelpText(s.help).simplified());
    box->setCursor(Qt::PointingHandCursor);
    auto* list = new QListWidget(this);
    list->setObjectName(QString("list_%1").arg(s.drop_list_id));
    list->setStyleSheet(kListStyle);
    list->setAccessibleName(caption);
    for (const std::string& option : s.options) list->addItem(QString::fromStdString(option));
    // Under its box, in whole rows.
    SetUpValueAndList(*box, *list, height());
    list->hide();
    list->installEventFilter(this);
    const int index = static_cast<int>(i);
    connect(box, &ValueBox::openRequested, this, [this, index] { OpenSetting(index); });
    connect(list, &QListWidget::itemClicked, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    connect(list, &QListWidget::itemActivated, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    settings_.push_back(Setting{&s, box, list});
  }
  // Tab reads the page as it shows: the value boxes top to bottom, then the help on the right.
  for (size_t i = 1; i < settings_.size(); ++i) {
    setTabOrder(settings_[i - 1].value_box, settings_[i].value_box);
  }
  if (!settings_.empty()) setTabOrder(settings_.back().value_box, help_);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    if (old == help_ || now == help_) update();
  });
  help_->setPlainText("");
  help_->show();
  Render();
  ShowValueBoxes();
}

int CSettingsPage::IndexOf(ImageField field) const {
  for (size_t i = 0; i < settings_.size(); ++i) {
    if (settings_[i].def->field == field) return static_cast<int>(i);
  }
  return -1;
}

int CSettingsPage::open_list() const {
  for (size_t i = 0; i < settings_.size(); ++i) {
    if (settings_[i].drop_list->isVisible()) return static_cast<int>(i);
  }
  return -1;
}

void CSettingsPage::Render() {
  const PageState& st = state();
  shown_rows_.resize(settings_.size(), -1);
  for (size_t i = 0; i < settings_.size(); ++i) {
    Setting& s = settings_[i];
    const int32_t row = ClampToOptions(st.selected[i], s.def->options.size());
    const bool open_now = st.open_list == static_cast<int>(i) && s.drop_list->isVisible();
    // An open list keeps the row the arrows moved to; a closed one shows the model's choice.
    if ((!open_now || shown_rows_[i] != row) && s.drop_list->currentRow() != row) {
      s.drop_list->setCurrentRow(row);
    }
    shown_rows_[i] = row;
    const QString text = QString::fromStdString(OptionText(*s.def, row));
    if (s.value_box->text() != text) s.value_box->setText(text);
    s.value_box->setEnabled(i >= st.enabled.size() || st.enabled[i]);
    const QString why = i < st.greyed_why.size() ? QString::fromStdString(st.greyed_why[i]) : "";
    if (s.value_box->toolTip() != why) s.value_box->setToolTip(why);
    const bool open = st.open_list == static_cast<int>(i);
    if (open != s.drop_list->isVisible()) {
      s.drop_list->setVisible(open);
      if (open) {
        s.drop_list->raise();
        s.drop_list->scrollToItem(s.drop_list->currentItem(),
                                  QAbstractItemView::PositionAtCenter);
      }
    }
  }
  if (st.help != shown_help_) {
    shown_help_ = st.help;
    help_->setPlainText(st.help >= 0 ? HelpText(settings_[static_cast<size_t>(st.help)].def->help)
                                     : QString(" "));
    help_->verticalScrollBar()->setValue(0);
    help_->update();
  }
  update();
}

void CSettingsPage::OpenSetting(int index) {
  if (!tool().OpenList(def_.page_id, index)) return;
  Render();
  settings_[static_cast<size_t>(index)].drop_list->setFocus();
}

void CSettingsPage::Choose(int index, int row) {
  if (row < 0) return;
  // The keyboard goes back to the value box; a click on it opens the list again.
  settings_[static_cast<size_t>(index)].value_box->setFocus(Qt::OtherFocusReason);
  tool().Choose(def_.page_id, index, row);
  Render();
}

void CSettingsPage::CloseList(int index) {
  HideDropLists();
  Render();
  ValueBox* box = settings_[static_cast<size_t>(index)].value_box;
  if (box->isVisible() && box->isEnabled()) {
    box->setFocus(Qt::OtherFocusReason);
  } else {
    adapter_indicator_->setFocus(Qt::OtherFocusReason);
  }
}

int CSettingsPage::ListIndex(QObject* list) const {
  for (size_t i = 0; i < settings_.size(); ++i) {
    if (settings_[i].drop_list == list) return static_cast<int>(i);
  }
  return -1;
}

void CSettingsPage::HideDropLists() {
  tool().CloseLists();
  for (Setting& s : settings_) s.drop_list->hide();
}

void CSettingsPage::ShowValueBoxes() {
  for (Setting& s : settings_) s.value_box->show();
  help_->show();
}

void CSettingsPage::HideAllControls() {
  for (Setting& s : settings_) {
    s.value_box->hide();
    s.drop_list->hide();
  }
  help_->hide();
}

void CSettingsPage::ClearHelp() {
  tool().pages().ClearHelp(def_.page_id);
  Render();
}

void CSettingsPage::RedrawIndicators() {
  esc_indicator_->update();
  adapter_indicator_->update();
}

bool CSettingsPage::eventFilter(QObject* watched, QEvent* event) {
  // In an open list the arrows, Home/End, Page Up/Down and typed letters move the cursor (the
  // list's own keys); Enter or Alt+Up chooses, Escape closes without choosing, and Tab closes
  // and goes on from the value box.
  const int index = event->type() == QEvent::KeyPress ? ListIndex(watched) : -1;
  if (index < 0) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  QListWidget* list = settings_[static_cast<size_t>(index)].drop_list;
  switch (key->key()) {
    case Qt::Key_Escape:
      CloseList(index);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Choose(index, list->currentRow());
      return true;
    case Qt::Key_Up:
      if (mods != Qt::AltModifier) break;
      Choose(index, list->currentRow());
      return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      CloseList(index);
      focusNextPrevChild(key->key() == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
      return true;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void CSettingsPage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    HideDropLists();
    adapter_indicator_->setFocus();
  }
  QWidget::mousePressEvent(event);
}

void CSettingsPage::paintEvent(QPaintEvent*) {
  {
    QPainter painter(this);
    PaintSkin(painter, rect(), background_, SkinFit::kStretch);
  }
  if (help_->hasFocus() && help_->isVisible()) PaintFocusFrame(*this, help_->geometry());
}

}  // namespace tessel
