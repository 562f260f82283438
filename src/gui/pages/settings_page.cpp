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

  esc_indicator_ = new CCownerDrawBton(kEscIndicatorId, status(), context_.is_busy, this);
  esc_indicator_->setGeometry(ToQRect(def.esc_indicator));
  adapter_indicator_ = new CCownerDrawBton(kAdapterIndicatorId, status(), context_.is_busy, this);
  adapter_indicator_->setGeometry(ToQRect(def.adapter_indicator));

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
    box->setGeometry(ToQRect(s.value_box));
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setMaxLength(s.max_text);
    box->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    box->setStyleSheet(kValueBoxStyle);
    box->setCursor(Qt::PointingHandCursor);
    auto* list = new QListWidget(this);
    list->setObjectName(QString("list_%1").arg(s.drop_list_id));
    list->setGeometry(ToQRect(s.drop_list));
    list->setStyleSheet(kListStyle);
    for (const std::string& option : s.options) list->addItem(QString::fromStdString(option));
    // Every option whole in the box and the list, the list in whole rows.
    FitValueAndList(*box, *list, ToQRect(s.drop_list).height());
    list->hide();
    list->installEventFilter(this);
    const int index = static_cast<int>(i);
    connect(box, &ValueBox::focused, this, [this, index] { OpenSetting(index); });
    connect(list, &QListWidget::itemClicked, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    connect(list, &QListWidget::itemActivated, this,
            [this, index, list](QListWidgetItem* item) { Choose(index, list->row(item)); });
    settings_.push_back(Setting{&s, box, list, s.default_index});
    Select(index, s.default_index);
  }
  enabled_ = AllEnabled(def);
  HideDropLists();
  help_->setPlainText("");
  help_->show();
  TransferTexts();
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

void CSettingsPage::Select(int index, int32_t option) {
  Setting& s = settings_[static_cast<size_t>(index)];
  const int32_t row = ClampToOptions(option, s.def->options.size());
  s.drop_list->setCurrentRow(row);
  s.value_box->setText(QString::fromStdString(OptionText(*s.def, row)));
}

void CSettingsPage::TransferTexts() {
  for (Setting& s : settings_) {
    const int row = s.drop_list->currentRow();
    if (row >= 0) s.value_box->setText(s.drop_list->item(row)->text());
  }
  update();
}

void CSettingsPage::OpenSetting(int index) {
  for (size_t i = 0; i < settings_.size(); ++i) {
    if (static_cast<int>(i) != index) settings_[i].drop_list->hide();
  }
  Setting& s = settings_[static_cast<size_t>(index)];
  s.drop_list->show();
  s.drop_list->raise();
  s.drop_list->scrollToItem(s.drop_list->currentItem(), QAbstractItemView::PositionAtCenter);
  s.drop_list->setFocus();
  help_->setPlainText(HelpText(s.def->help));
  help_->verticalScrollBar()->setValue(0);
  TransferTexts();
}

void CSettingsPage::Choose(int index, int row) {
  Setting& s = settings_[static_cast<size_t>(index)];
  if (row < 0) return;
  s.value_box->setText(s.drop_list->item(row)->text());
  s.drop_list->hide();
  s.value_box->update();
  // Focus goes back to the sink, so that clicking the same value box opens its list again.
  adapter_indicator_->setFocus();
  OnChosen(index);
}

void CSettingsPage::OnChosen(int) {}

void CSettingsPage::ApplyEnablingRules() {
  enabled_ = EnabledSettings(def_, image(), enabled_);
  for (size_t i = 0; i < settings_.size() && i < enabled_.size(); ++i) {
    settings_[i].value_box->setEnabled(enabled_[i]);
  }
}

void CSettingsPage::CollectSelections() {
  for (Setting& s : settings_) image().*(s.def->field) = s.drop_list->currentRow();
  ApplyEnablingRules();
  TransferTexts();
}

void CSettingsPage::RefreshFromImage() {
  RefreshPageFromImage(def_.page_id, image());
  for (size_t i = 0; i < settings_.size(); ++i) {
    Select(static_cast<int>(i), image().*(settings_[i].def->field));
  }
  TransferTexts();
  CollectSelections();
}

void CSettingsPage::ResetToDefaults() {
  for (Setting& s : settings_) {
    if (IsCurveModeField(s.def->field)) s.default_index = 0;
    image().*(s.def->field) = s.default_index;
  }
  RefreshFromImage();
  ApplyEnablingRules();
  TransferTexts();
}

void CSettingsPage::HideDropLists() {
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
  help_->setPlainText(" ");
  help_->update();
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
      if (auto* list = qobject_cast<QListWidget*>(watched)) {
        list->hide();
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
    TransferTexts();
  }
  QWidget::mousePressEvent(event);
}

void CSettingsPage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintSkin(painter, rect(), background_, SkinFit::kStretch);
}

}  // namespace tessel
