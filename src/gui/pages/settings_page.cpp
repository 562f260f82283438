#include "gui/pages/settings_page.h"

#include <QFocusEvent>
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

}  // namespace

void ValueBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  emit focused();
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
  help_->setFocusPolicy(Qt::ClickFocus);

  for (size_t i = 0; i < def.settings.size(); ++i) {
    const SettingDef& s = def.settings[i];
    auto* box = new ValueBox(this);
    box->setObjectName(QString("value_%1").arg(s.value_box_id));
    box->setGeometry(ToQRect(OnValueColumn(s.value_box)));
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setMaxLength(s.max_text);
    box->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    box->setStyleSheet(kValueBoxStyle);
    box->setCursor(Qt::PointingHandCursor);
    auto* list = new QListWidget(this);
    list->setObjectName(QString("list_%1").arg(s.drop_list_id));
    list->setStyleSheet(kListStyle);
    for (const std::string& option : s.options) list->addItem(QString::fromStdString(option));
    // Under its box, in whole rows.
    SetUpValueAndList(*box, *list, height());
    list->hide();
    list->installEventFilter(this);
    const int index = static_cast<int>(i);
    connect(box, &ValueBox::focused, this, [this, index] { OpenSetting(index); });
    connect(list, &QListWidget::itemClicked, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    connect(list, &QListWidget::itemActivated, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    settings_.push_back(Setting{&s, box, list});
  }
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
  for (size_t i = 0; i < settings_.size(); ++i) {
    Setting& s = settings_[i];
    const int32_t row = ClampToOptions(st.selected[i], s.def->options.size());
    if (s.drop_list->currentRow() != row) s.drop_list->setCurrentRow(row);
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
  // Focus goes back to the sink, so that clicking the same value box opens its list again.
  adapter_indicator_->setFocus();
  tool().Choose(def_.page_id, index, row);
  Render();
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
  // Escape closes an open list without choosing.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      if (qobject_cast<QListWidget*>(watched) != nullptr) {
        HideDropLists();
        adapter_indicator_->setFocus();
        return true;
      }
    }
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
  QPainter painter(this);
  PaintSkin(painter, rect(), background_, SkinFit::kStretch);
}

}  // namespace tessel
