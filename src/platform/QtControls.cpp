#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "QtInternal.h"

namespace platform {
namespace {

// Raises a control's MouseDown when the left button goes down, before the
// widget itself sees the press; the second press of a double click too.
class MouseDownFilter : public QObject {
 public:
  MouseDownFilter(QObject* parent, std::function<bool(int, int)>* handler)
      : QObject(parent), handler_(handler) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && *handler_) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) {
        const QPoint at = mouse->position().toPoint();
        if ((*handler_)(at.x(), at.y())) return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<bool(int, int)>* handler_;
};

// A check box toggles right after its MouseDown, for every press that
// reaches it: anywhere on the box (Qt toggles only on the indicator and the
// caption's text), on each press of a double click, and on Space. So the
// click rules, which run on MouseDown, never run without the toggle they
// expect. Qt itself would toggle on the release, which may never come.
class CheckBoxWidget : public QCheckBox {
 public:
  explicit CheckBoxWidget(CheckBox* owner) : owner_(owner) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return QCheckBox::mousePressEvent(event);
    press(event->position().toPoint());
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() != Qt::Key_Space && event->key() != Qt::Key_Select)
      return QCheckBox::keyPressEvent(event);
    if (!event->isAutoRepeat()) press(rect().center());
  }

 private:
  void press(QPoint at) {
    if (owner_->MouseDown && owner_->MouseDown(at.x(), at.y())) return;
    click();
  }

  CheckBox* owner_;
};

}  // namespace

Control::Control(platform::Window& window, QWidget* widget)
    : window_(&window), widget_(widget), ownFocusPolicy_(widget->focusPolicy()) {
  widget_->setParent(window.content());
}

Control::~Control() { delete widget_; }

int Control::Left() const { return widget_->x(); }
int Control::Top() const { return widget_->y(); }
int Control::Width() const { return widget_->width(); }
int Control::Height() const { return widget_->height(); }
void Control::SetLeft(int left) {
  widget_->move(left, widget_->y());
  focusFollowsPlace();
}
void Control::SetTop(int top) {
  widget_->move(widget_->x(), top);
  focusFollowsPlace();
}
bool Control::Enabled() const { return widget_->isEnabled(); }
void Control::SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
void Control::SetAcceptFocus(bool accept) {
  ownFocusPolicy_ = accept ? Qt::StrongFocus : Qt::NoFocus;
  focusFollowsPlace();
}

void Control::focusFollowsPlace() {
  takeFocusOnlyInView();
  if (widget_->focusPolicy() == Qt::NoFocus) handFocusOn();
}

bool Control::inView() const { return widget_->y() + widget_->height() > 0; }

void Control::takeFocusOnlyInView() {
  widget_->setFocusPolicy(inView() ? static_cast<Qt::FocusPolicy>(ownFocusPolicy_) : Qt::NoFocus);
}

// Keys must not reach a control that can take the focus no longer.
void Control::handFocusOn() {
  if (widget_->window()->focusWidget() != widget_) return;
  if (Control* next = window_->impl()->controls.nextTabStop(this, true))
    next->widget_->setFocus(Qt::OtherFocusReason);
  else
    widget_->clearFocus();
}

// Label
Label::Label(platform::Window& window) : Control(window, new QLabel()) {}
std::string Label::Text() const { return fromQ(static_cast<QLabel*>(widget())->text()); }
void Label::SetText(std::string_view text) {
  auto* label = static_cast<QLabel*>(widget());
  label->setTextFormat(Qt::PlainText);
  label->setText(toQ(text));
}
void Label::SetTextSize(int points) {
  QFont font = widget()->font();
  // Design points are those of a 72-dpi screen, one per pixel, so the text
  // keeps its size against the design's pixel geometry on any screen.
  font.setPixelSize(points);
  widget()->setFont(font);
}
void Label::SetBold(bool bold) {
  QFont font = widget()->font();
  font.setBold(bold);
  widget()->setFont(font);
}
void Label::SetCentered(bool centered) {
  static_cast<QLabel*>(widget())->setAlignment(centered ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
}

// PushButton
PushButton::PushButton(platform::Window& window) : Control(window, new QPushButton()) {
  auto* button = static_cast<QPushButton*>(widget());
  button->setProperty("qm_control", QVariant::fromValue(static_cast<void*>(this)));
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, [this] {
    if (Action) Action();
  });
}
std::string PushButton::Caption() const { return fromQ(static_cast<QPushButton*>(widget())->text()); }
void PushButton::SetCaption(std::string_view caption) {
  static_cast<QPushButton*>(widget())->setText(toQ(caption).replace('&', "&&"));
}
void PushButton::SetDefault(bool isDefault) {
  default_ = isDefault;
  static_cast<QPushButton*>(widget())->setDefault(isDefault);
}
void PushButton::Push() {
  if (Enabled() && Action) Action();
}

// TextField
TextField::TextField(platform::Window& window) : Control(window, new QLineEdit()) {}
std::string TextField::Text() const { return fromQ(static_cast<QLineEdit*>(widget())->text()); }
void TextField::SetText(std::string_view text) { static_cast<QLineEdit*>(widget())->setText(toQ(text)); }
void TextField::SelectAll() {
  auto* edit = static_cast<QLineEdit*>(widget());
  edit->selectAll();
  edit->setFocus(Qt::OtherFocusReason);
  if (!edit->window()->isVisible()) Window()->impl()->focusOnShow = edit;
}
std::string TextField::SelectedText() const {
  return fromQ(static_cast<QLineEdit*>(widget())->selectedText());
}
void TextField::SetDigitsOnly(int limit) {
  auto* edit = static_cast<QLineEdit*>(widget());
  edit->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QString("[0-9]{0,%1}").arg(limit)), edit));
  edit->setMaxLength(limit);
}
void TextField::SetLimitText(int limit) { static_cast<QLineEdit*>(widget())->setMaxLength(limit); }

// CheckBox
CheckBox::CheckBox(platform::Window& window) : Control(window, new CheckBoxWidget(this)) {}
std::string CheckBox::Caption() const { return fromQ(static_cast<QCheckBox*>(widget())->text()); }
void CheckBox::SetCaption(std::string_view caption) {
  static_cast<QCheckBox*>(widget())->setText(toQ(caption).replace('&', "&&"));
}
int CheckBox::State() const { return static_cast<QCheckBox*>(widget())->isChecked() ? 1 : 0; }
void CheckBox::SetState(int state) { static_cast<QCheckBox*>(widget())->setChecked(state != 0); }

// Canvas
Canvas::Canvas(platform::Window& window) : Control(window, new QLabel()) {
  widget()->installEventFilter(new MouseDownFilter(widget(), &MouseDown));
  static_cast<QLabel*>(widget())->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}
void Canvas::SetBackdrop(const Picture& picture) {
  auto* label = static_cast<QLabel*>(widget());
  if (picture.image()) label->setPixmap(picture.image()->pixmap);
  else label->clear();
}
bool Canvas::HasBackdrop() const { return !static_cast<QLabel*>(widget())->pixmap().isNull(); }
void Canvas::SetHelpTag(std::string_view tag) { widget()->setToolTip(toQ(tag)); }
std::string Canvas::HelpTag() const { return fromQ(widget()->toolTip()); }

// PopupMenu
PopupMenu::PopupMenu(platform::Window& window) : Control(window, new QComboBox()) {
  auto* combo = static_cast<QComboBox*>(widget());
  QObject::connect(combo, &QComboBox::currentIndexChanged, [this](int) {
    if (!settingFromCode_ && Change) Change();
  });
}
void PopupMenu::AddRow(std::string_view text) {
  auto* combo = static_cast<QComboBox*>(widget());
  settingFromCode_ = true;
  combo->addItem(toQ(text));
  // The first row must not select itself: nothing is selected until asked.
  if (combo->count() == 1) combo->setCurrentIndex(-1);
  settingFromCode_ = false;
}
int PopupMenu::ListCount() const { return static_cast<QComboBox*>(widget())->count(); }
int PopupMenu::ListIndex() const { return static_cast<QComboBox*>(widget())->currentIndex(); }
void PopupMenu::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) return;
  settingFromCode_ = true;
  static_cast<QComboBox*>(widget())->setCurrentIndex(index);
  settingFromCode_ = false;
  if (Change) Change();
}
std::string PopupMenu::RowText(int index) const {
  return fromQ(static_cast<QComboBox*>(widget())->itemText(index));
}

// UpDownArrows
UpDownArrows::UpDownArrows(platform::Window& window) : Control(window, new QWidget()) {
  auto* layout = new QVBoxLayout(widget());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (bool up : {true, false}) {
    auto* button = new QToolButton();
    button->setObjectName(up ? "Up" : "Down");
    button->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(button);
    QObject::connect(button, &QToolButton::clicked, [this, up] { up ? PressUp() : PressDown(); });
  }
  widget()->setFocusPolicy(Qt::NoFocus);
}
void UpDownArrows::PressUp() {
  if (Up) Up();
}
void UpDownArrows::PressDown() {
  if (Down) Down();
}

// Timer
Timer::Timer(platform::Window& window) : timer_(new QTimer(window.widget())) {
  timer_->setSingleShot(true);
  QObject::connect(timer_, &QTimer::timeout, [this] {
    if (Action) Action();
  });
}
Timer::~Timer() { delete timer_; }
void Timer::SetPeriod(int ms) {
  period_ = ms;
  timer_->start(ms);
}
bool Timer::Running() const { return timer_->isActive(); }
void Timer::Stop() { timer_->stop(); }

}  // namespace platform
