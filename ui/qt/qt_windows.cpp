// The Qt window layer: windows of a kind on a stack of 32 slots, their
// loops, the cell canvas with its labels and field controls, key
// translation in the controls, and the routing of actions to the screen
// model or to the window's own handler.

#include "ui/qt/qt_windows.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>
#include <QtCore/QElapsedTimer>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QCloseEvent>
#include <QtGui/QFontDatabase>
#include <QtGui/QFocusEvent>
#include <QtGui/QKeyEvent>
#include <QtGui/QScreen>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMainWindow>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QScrollArea>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QVBoxLayout>
#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/flags.h"
#include "core/message_box.h"
#include "core/runtime_arrays.h"
#include "core/startup.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "platform/encoding.h"
#include "proc/procedures.h"
#include "ui/qt/qt_choices.h"
#include "ui/qt/qt_windows_internal.h"
#include "ui/screen.h"

namespace tessaly {

QString ToQt(Slice text) {
  if (text.data() == nullptr || text.size() == 0) return QString();
  return QString::fromStdString(
      platform::Cp1252ToUtf8(std::string_view(text.data(), text.size())));
}

std::string FromQt(const QString& text) { return platform::Utf8ToCp1252(text.toStdString()); }

namespace {

constexpr int kWindowSlots = 32;
constexpr int kStatusLineRows = 1;
// A scanned code longer than this is not a code: the rest is only typed.
constexpr qsizetype kMaxScannedCode = 1024;
// Pixels allowed for a scroll bar when a window is clipped to the work area.
constexpr int kScrollBarRoom = 24;
// The frame added to a window's size when the screen size is configured.
constexpr int kDialogFrame = 6;

// The scroll area of a window, which keeps the window's own steps after
// the toolkit has laid its bars out.
class CellScrollArea : public QScrollArea {
 public:
  CellScrollArea(CellWindow* owner, QWidget* parent) : QScrollArea(parent), owner_(owner) {}

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QScrollArea::resizeEvent(e);
    owner_->ClientResized();
  }
  bool event(QEvent* e) override {
    bool done = QScrollArea::event(e);
    if (e->type() == QEvent::LayoutRequest) owner_->ClientResized();
    return done;
  }

 private:
  CellWindow* owner_;
};

// Text of the first labels of window kinds, the rest from the application
// name: ",LnMant,Mant,MantDlg,Grid,Dialogx,DevSel,Progress".
constexpr const char* kKindClasses[kWindowKindCount] = {
    "", "LnMant", "Mant", "MantDlg", "Grid", "Dialogx", "DevSel", "Progress", "", "", "", ""};
static_assert(sizeof kKindClasses / sizeof kKindClasses[0] == kWindowKindCount);

// The keys after which a field's text is taken from its control.
bool IsNavigationKey(int index) {
  switch (index) {
    case 0: case 8: case 9: case 19: case 22: case 23: case 28: case 29: case 32:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- Fonts and cells ------------------------------------------------------------------

QFont WindowFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const FontEntry* entry = GetFont(CurrentFontEntry());
  if (entry == nullptr) return font;
  QString face = ToQt(Slice::Of(entry->face));
  // The face the applications name is not on a Linux desktop; its
  // fixed-pitch font takes its place, as for any face that is missing.
  if (face.compare("Lucida Console", Qt::CaseInsensitive) != 0 &&
      QFontDatabase::hasFamily(face)) {
    font.setFamily(face);
  }
  font.setStyleHint(QFont::TypeWriter);
  // Heights are cell heights of the other platform; the character's em is
  // about four fifths of what is left after the cell's three extra pixels.
  if (entry->height > 3) font.setPixelSize(std::max(8, (entry->height - 3) * 4 / 5));
  bool bold = entry->bold || entry->weight >= 700 || entry->weight == 1;
  font.setBold(bold);
  return font;
}

CellMetrics CurrentCellMetrics() {
  QFontMetrics fm(WindowFont());
  return CellMetrics{fm.averageCharWidth() + 1, fm.height() + 3};
}

int CellX(int column) {
  ScreenGeometry g = ScreenGeometryInForce();
  CellMetrics m = CurrentCellMetrics();
  if (column == -1) return g.columns * m.width + 1;
  return (column + g.left - 1) * m.width + 1;
}

int CellY(int row) {
  ScreenGeometry g = ScreenGeometryInForce();
  CellMetrics m = CurrentCellMetrics();
  if (row == -1) row = g.rows;
  return (row + g.top - 1) * m.height * (100 + g.spacing) / 100 + 1;
}

int CellsWidth(int columns) { return columns * CurrentCellMetrics().width; }

int CellsHeight(int rows) {
  ScreenGeometry g = ScreenGeometryInForce();
  return rows * CurrentCellMetrics().height * (100 + g.spacing) / 100;
}

int EditWidth(int n) {
  int cw = CurrentCellMetrics().width;
  int k = n / 10 + (n % 10 > 5 ? 1 : 0);
  return std::max(15, n * cw - (k - 1) * (cw / 2));
}

// ---- Controls --------------------------------------------------------------------------

FieldEdit::FieldEdit(QtWindowLayer* layer, WindowId window, int field, QWidget* parent)
    : QLineEdit(parent), layer_(layer), window_(window), field_(field) {}

bool FieldEdit::event(QEvent* e) {
  if (e->type() == kFieldWindowEvent) {
    layer_->PrivateMessage(window_, field_, *static_cast<ParameterEvent*>(e));
    return true;
  }
  // Tab and Shift+Tab are keys of the screen, not the toolkit's focus chain.
  if (e->type() == QEvent::KeyPress && !PlainControls()) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QLineEdit::event(e);
}

void FieldEdit::keyPressEvent(QKeyEvent* e) {
  if (PlainControls()) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  // A keyboard scanner sends a group separator, the code and a control
  // character; the characters reach the control as typed. Keys without a
  // character (the Shift of a capital letter) neither end the code nor act.
  QString text = e->text();
  char16_t first = text.isEmpty() ? 0 : text[0].unicode();
  if (first == 29) {
    scanning_ = true;
    scanned_.clear();
    return;
  }
  if (scanning_) {
    bool ends = (first != 0 && (first < 32 || first == 127)) || e->key() == Qt::Key_Return ||
                e->key() == Qt::Key_Enter;
    if (!ends) {
      if (first != 0 && scanned_.size() < kMaxScannedCode) scanned_ += text;
      QLineEdit::keyPressEvent(e);
      return;
    }
    scanning_ = false;
    std::string code = FromQt(scanned_);
    scanned_.clear();
    (void)strtab::Push(strtab::kProcedureResults, Slice::Of(code));
    layer_->ControlAction(window_, field_, 24);
    return;
  }
  bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
  bool control = (e->modifiers() & Qt::ControlModifier) != 0;
  int index = KeyIndexOf(e->key(), shift, control);
  SetWord(kLastKey, static_cast<uint16_t>(index));
  if (index == kKeyOwnedByControl) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  int action = KeyMapAction(Word(kKeyMap), index);
  if (action != 0) layer_->ControlAction(window_, field_, action);
}

void FieldEdit::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  layer_->ControlFocus(window_, field_, true, e->reason());
}

void FieldEdit::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  layer_->ControlFocus(window_, field_, false, e->reason());
}

FieldCheck::FieldCheck(QtWindowLayer* layer, WindowId window, int field, QWidget* parent)
    : QCheckBox(parent), layer_(layer), window_(window), field_(field) {}

bool FieldCheck::event(QEvent* e) {
  if (e->type() == QEvent::KeyPress && !PlainControls()) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QCheckBox::event(e);
}

void FieldCheck::keyPressEvent(QKeyEvent* e) {
  if (PlainControls()) {
    QCheckBox::keyPressEvent(e);
    return;
  }
  bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
  int index = KeyIndexOf(e->key(), shift, false);
  // A check box leaves on the keys that leave a field, with the action the
  // key map gives to Esc.
  if (index == 0 || index == 3 || index == 8 || index == 9) {
    SetWord(kLastKey, static_cast<uint16_t>(index));
    int action = KeyMapAction(Word(kKeyMap), 3);
    if (action != 0) layer_->ControlAction(window_, field_, action);
    return;
  }
  QCheckBox::keyPressEvent(e);
}

void FieldCheck::focusInEvent(QFocusEvent* e) {
  QCheckBox::focusInEvent(e);
  layer_->ControlFocus(window_, field_, true, e->reason());
}

void FieldCheck::focusOutEvent(QFocusEvent* e) {
  QCheckBox::focusOutEvent(e);
  layer_->ControlFocus(window_, field_, false, e->reason());
}

// ---- Windows ---------------------------------------------------------------------------

CellWindow::CellWindow(QtWindowLayer* layer, WindowId slot) : layer_(layer), slot_(slot) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* body = new QWidget(this);
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  scroll_ = new CellScrollArea(this, body);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(false);
  canvas_ = new QWidget;
  canvas_->setObjectName("canvas");
  canvas_->setFont(WindowFont());
  scroll_->setWidget(canvas_);
  column->addWidget(scroll_, 1);
  status_ = new QLabel(body);
  status_->setAlignment(Qt::AlignCenter);
  status_->setAutoFillBackground(true);
  QPalette p = status_->palette();
  p.setColor(QPalette::Window, QColor(128, 128, 128));
  p.setColor(QPalette::WindowText, Qt::white);
  status_->setPalette(p);
  status_->setFont(WindowFont());
  status_->setFixedHeight(CellsHeight(kStatusLineRows) + 4);
  status_->hide();
  column->addWidget(status_);
  setCentralWidget(body);
}

void CellWindow::ClientResized() {
  if (!scroll_->widgetResizable()) {
    CellMetrics m = CurrentCellMetrics();
    QSize content = canvas_->size();
    QSize client = scroll_->size();
    bool wide = content.width() > client.width() + m.width;
    bool high = content.height() > client.height() + m.height;
    Qt::ScrollBarPolicy h = wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    Qt::ScrollBarPolicy v = high ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (scroll_->horizontalScrollBarPolicy() != h) scroll_->setHorizontalScrollBarPolicy(h);
    if (scroll_->verticalScrollBarPolicy() != v) scroll_->setVerticalScrollBarPolicy(v);
    scroll_->horizontalScrollBar()->setSingleStep(2);
    scroll_->horizontalScrollBar()->setPageStep(m.width);
    scroll_->verticalScrollBar()->setSingleStep(2);
    scroll_->verticalScrollBar()->setPageStep(m.height);
  }
  layer_->PlacePicture(slot_);
}

bool CellWindow::event(QEvent* e) {
  if (e->type() == kPortDataEvent) {
    layer_->PrivateMessage(slot_, 0, *static_cast<ParameterEvent*>(e));
    return true;
  }
  bool done = QMainWindow::event(e);
  if (e->type() == QEvent::WindowActivate) layer_->WindowActivated(slot_);
  return done;
}

void CellWindow::closeEvent(QCloseEvent* e) {
  if (layer_->IsClosing(slot_, this)) {
    e->accept();
    return;
  }
  e->ignore();
  layer_->RequestClose(slot_);
}

void CellWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || !isAncestorOf(focus)) {
      layer_->RequestClose(slot_);
      return;
    }
  }
  QMainWindow::keyPressEvent(e);
}

QWidget* CellWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.data();
}

void CellWindow::SetControl(int id, QWidget* control) {
  if (QWidget* old = Control(id)) {
    old->hide();
    old->deleteLater();
  }
  controls_[id] = control;
}

// ---- The layer -----------------------------------------------------------------------

QtWindowLayer::QtWindowLayer() = default;
QtWindowLayer::~QtWindowLayer() { CloseAllWindows(); }

QtWindowLayer::Slot* QtWindowLayer::Live(WindowId window) {
  if (window < 0 || window >= kWindowSlots) return nullptr;
  Slot& s = slots_[static_cast<size_t>(window)];
  return s.window != nullptr && !s.closed ? &s : nullptr;
}

bool QtWindowLayer::IsClosing(WindowId window, const CellWindow* w) const {
  if (window < 0 || window >= kWindowSlots) return true;
  const Slot& s = slots_[static_cast<size_t>(window)];
  return s.window != w || s.closed;
}

WindowId QtWindowLayer::TopWindow() { return order_.empty() ? kNoWindow : order_.back(); }

int QtWindowLayer::WindowCount() { return static_cast<int>(order_.size()); }

WindowId QtWindowLayer::Main() const { return main_; }

void QtWindowLayer::SaveOrder() {
  // Runtime array 5 mirrors the order so that the rest of the runtime can
  // count the windows without knowing the toolkit.
  rtarray::Free(rtarray::kWindows);
  for (size_t i = 0; i < order_.size(); ++i) {
    int16_t slot = static_cast<int16_t>(order_[i]);
    (void)rtarray::Store(rtarray::kWindows, static_cast<int>(i), &slot, sizeof slot);
  }
}

void QtWindowLayer::UpdateEnabled() {
  // A window takes input only while no modal window lies above it; worked
  // out afresh after every change so that no failure can leave a window
  // disabled.
  bool blocked = false;
  for (size_t i = order_.size(); i-- > 0;) {
    Slot& s = slots_[static_cast<size_t>(order_[i])];
    s.window->setEnabled(!blocked);
    if (s.modal) blocked = true;
  }
}

QString QtWindowLayer::ClassName(int kind, Slice title) const {
  if (kKindClasses[kind][0] != '\0') return QString::fromLatin1(kKindClasses[kind]);
  Slice name = strtab::Get(strtab::kEnvironment, 2);
  std::string n(name.data() != nullptr ? std::string(name.data(), name.size()) : std::string());
  n = n.substr(0, n.find(':'));
  return n.empty() ? ToQt(title) : ToQt(Slice::Of(n));
}

WindowId QtWindowLayer::OpenWindow(const WindowRequest& request, Status* status) {
  *status = Status::kOk;
  if (request.kind < 0 || request.kind >= kWindowKindCount) {
    *status = Status::kBadInputData;
    return kNoWindow;
  }
  if (QApplication::instance() == nullptr) {
    *status = Status::kScreenEnviron;
    return kNoWindow;
  }
  WindowId slot = kNoWindow;
  for (int i = 0; i < kWindowSlots; ++i) {
    if (slots_[static_cast<size_t>(i)].window == nullptr) {
      slot = i;
      break;
    }
  }
  if (slot == kNoWindow) {
    *status = Status::kWindowsControlError;
    return kNoWindow;
  }
  WindowId owner = TopWindow();
  Slot& s = slots_[static_cast<size_t>(slot)];
  s = Slot{};
  s.kind = request.kind;
  s.modal = IsModalKind(request.kind) || (request.flags & kWindowModal) != 0;
  s.main = request.main_window;
  s.action = request.action;
  s.context = request.context;
  s.show_state = request.kind == 11 ? 4 : 1;
  ScreenGeometry g = ScreenGeometryInForce();
  s.columns = request.columns > 0 ? request.columns : g.columns;
  s.rows = request.rows > 0 ? request.rows : g.rows;
  auto* w = new CellWindow(this, slot);
  s.window = w;
  w->setObjectName(ClassName(request.kind, request.title));
  w->setWindowTitle(ToQt(request.title));
  if (request.main_window) main_ = slot;
  if (request.menu != nullptr) BuildMenuBar(w, *request.menu);

  // Size: the content in cells, one spare cell, the status line and the
  // menu bar; clipped to the work area (the scroll area then scrolls).
  CellMetrics m = CurrentCellMetrics();
  bool configured = false;
  QRect work = WorkArea(&configured);
  // A configured screen adds a whole cell and the dialog frame; otherwise
  // the toolkit draws the frame outside the client area.
  int content_w = CellsWidth(s.columns + g.left) + m.width;
  int content_h = CellsHeight(s.rows + g.top + g.bottom) + (configured ? m.height : m.height / 2);
  int frame = configured ? kDialogFrame : 2;
  if (request.main_window) {
    // The main window holds the menu bar and the status line: its area
    // follows the window instead of scrolling.
    w->scrollArea()->setWidgetResizable(true);
  } else {
    w->canvas()->setFixedSize(content_w, content_h);
  }
  int extra_h = (request.menu != nullptr ? w->menuBar()->sizeHint().height() : 0) +
                (request.main_window ? CellsHeight(kStatusLineRows) + 4 : 0);
  if (request.main_window) w->status()->show();
  int width = content_w + frame;
  int height = content_h + extra_h + frame;
  // Too big for the work area: clipped, with room for the scroll bar that
  // the other side then needs.
  bool wide = width > work.width();
  bool high = height > work.height();
  if (wide) height += kScrollBarRoom;
  if (high) width += kScrollBarRoom;
  width = std::min(width, work.width());
  height = std::min(height, work.height());
  w->resize(width, height);

  QPoint at;
  Slot* top = Live(owner);
  if (top != nullptr) {
    at = top->window->geometry().topLeft() + QPoint(100, 60);
    QWidget* focus = QApplication::focusWidget();
    if ((request.flags & kWindowAtFocus) != 0 && focus != nullptr &&
        top->window->isAncestorOf(focus)) {
      at = focus->mapToGlobal(QPoint(focus->width(), 0));
      int keep = SignedWord(kWMaxRow);
      if (keep > 0) at.ry() += CellsHeight(keep);
    }
  } else {
    at = work.center() - QPoint(width / 2, height / 2);
    if ((Word(kScrStat) & 8) != 0) at += QPoint(100, 60);
  }
  at.setX(std::max(work.left(), std::min(at.x(), work.right() - width)));
  at.setY(std::max(work.top(), std::min(at.y(), work.bottom() - height)));
  w->move(at);

  if (top != nullptr) {
    w->winId();
    if (w->windowHandle() != nullptr && top->window->windowHandle() != nullptr) {
      w->windowHandle()->setTransientParent(top->window->windowHandle());
    }
  }
  order_.push_back(slot);
  SaveOrder();
  UpdateEnabled();
  return slot;
}

void QtWindowLayer::BuildMenuBar(CellWindow* w, const std::vector<MenuEntry>& entries) {
  QMenuBar* bar = w->menuBar();
  std::function<void(QWidget*, const std::vector<MenuEntry>&)> add =
      [&](QWidget* into, const std::vector<MenuEntry>& list) {
        for (const MenuEntry& e : list) {
          QString title = ToQt(Slice::Of(e.title));
          if (title.isEmpty()) title = QStringLiteral("...");
          if (e.popup) {
            QMenu* menu = nullptr;
            if (auto* b = qobject_cast<QMenuBar*>(into)) menu = b->addMenu(title);
            else menu = static_cast<QMenu*>(into)->addMenu(title);
            add(menu, e.entries);
            continue;
          }
          QAction* a = new QAction(title, into);
          a->setData(e.id);
          WindowId slot = w->slot();
          int id = e.id;
          QObject::connect(a, &QAction::triggered, w, [this, slot, id] { CommandAction(slot, id); });
          into->addAction(a);
        }
      };
  add(bar, entries);
}

void QtWindowLayer::CommandAction(WindowId window, int id) {
  SetWord(kLastKey, 4);
  int action = ActionOfIdentifier(id);
  if (action != 0) Dispatch(window, 0, action);
}

Status QtWindowLayer::RunWindow(WindowId window) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  CellWindow* w = s->window;
  bool configured = false;
  (void)WorkArea(&configured);
  if (s->show_state == 4 && !configured) w->showMaximized();
  else w->show();
  w->raise();
  w->activateWindow();
  FocusFirstField(window);
  MaybeScreenshot(window);
  QEventLoop loop;
  s->loop = &loop;
  while (!slots_[static_cast<size_t>(window)].closed) loop.exec();
  Slot& done = slots_[static_cast<size_t>(window)];
  done.loop = nullptr;
  Status result = done.result;
  done = Slot{};
  return result;
}

void QtWindowLayer::FocusFirstField(WindowId window) {
  int inst = InstanceOf(window);
  if (inst < 0) return;
  ScreenInstance* instance = ScreenInstanceAt(inst);
  int field = instance->current_field;
  if (field == 0) {
    if (ScreenCurrentNumber() != inst) (void)ScreenSwitchTo(inst);
    field = ScreenNextField(0, +1);
    if (field > 0) (void)ScreenMoveTo(field);
  }
  if (field > 0) (void)FocusField(window, field, true);
}

void QtWindowLayer::MaybeScreenshot(WindowId window) {
  const char* file = std::getenv("TESSALY_SCREENSHOT");
  if (file == nullptr || *file == '\0' || screenshot_taken_) return;
  screenshot_taken_ = true;
  std::string path = file;
  QPointer<CellWindow> w = slots_[static_cast<size_t>(window)].window;
  QTimer::singleShot(500, [this, w, path] {
    if (w != nullptr) (void)w->grab().save(QString::fromStdString(path));
    CloseAllWindows();
  });
}

Status QtWindowLayer::CloseWindow(WindowId window, Status result) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  s->closed = true;
  s->result = result;
  for (size_t i = 0; i < order_.size(); ++i) {
    if (order_[i] == window) {
      order_.erase(order_.begin() + static_cast<long>(i));
      break;
    }
  }
  if (main_ == window) main_ = kNoWindow;
  if (picture_window_ == window) picture_window_ = kNoWindow;
  // The window's lists and combo boxes go with it: their slots are free
  // at once, before the toolkit deletes the widgets.
  for (ListSlot& l : lists_) {
    if (l.window == window) l = ListSlot{};
  }
  for (ComboSlot& c : combos_) {
    if (c.window == window) c = ComboSlot{};
  }
  SaveOrder();
  UpdateEnabled();
  CellWindow* w = s->window;
  w->hide();
  w->deleteLater();
  if (s->loop != nullptr) s->loop->quit();
  else *s = Slot{};  // never run: nothing waits for its result
  // The window below gets the focus back once the caller has finished with
  // the closed window's screen.
  WindowId top = TopWindow();
  if (top != kNoWindow) {
    QPointer<CellWindow> below = slots_[static_cast<size_t>(top)].window;
    QTimer::singleShot(0, [this, below, top] {
      if (below == nullptr || Live(top) == nullptr) return;
      below->raise();
      below->activateWindow();
      int inst = InstanceOf(top);
      ScreenInstance* instance = inst >= 0 ? ScreenInstanceAt(inst) : nullptr;
      if (instance != nullptr && instance->current_field > 0) {
        (void)FocusField(top, instance->current_field, false);
      }
    });
  }
  return Status::kOk;
}

void QtWindowLayer::CloseAllWindows() {
  while (!order_.empty()) (void)CloseWindow(order_.back(), Status::kUserCanceled);
}

bool QtWindowLayer::PumpMessages() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
  return !order_.empty();
}

int QtWindowLayer::InstanceOf(WindowId window) const {
  for (int n = ScreenInstanceCount() - 1; n >= 0; --n) {
    ScreenInstance* inst = ScreenInstanceAt(n);
    if (inst != nullptr && inst->window == window) return n;
  }
  return -1;
}

void QtWindowLayer::RequestClose(WindowId window) {
  Slot* s = Live(window);
  if (s == nullptr) return;
  Dispatch(window, 0, s->main ? 17 : 28);
}

void QtWindowLayer::WindowActivated(WindowId window) {
  Slot* s = Live(window);
  if (s == nullptr) return;
  int inst = InstanceOf(window);
  if (inst < 0) {
    // The first focus of a window without a screen: a screen window takes
    // the current instance when that one is shown nowhere yet.
    if (s->focused_once) return;
    s->focused_once = true;
    ScreenInstance* current = ScreenCurrentInstance();
    if (s->action == nullptr && current != nullptr && Live(current->window) == nullptr) {
      current->window = window;
    }
    Dispatch(window, 0, 95);
    return;
  }
  s->focused_once = true;
  if (ScreenCurrentNumber() != inst && !ScreenSwitchTo(inst).ok()) return;
  if (TopWindow() != window) {
    std::erase(order_, window);
    order_.push_back(window);
    SaveOrder();
    UpdateEnabled();
  }
  ScreenInstance* instance = ScreenInstanceAt(inst);
  Dispatch(window, instance != nullptr ? instance->current_field : 0, 91);
}

// ---- Actions -----------------------------------------------------------------------------

void QtWindowLayer::Dispatch(WindowId window, int field, int action) {
  Slot* s = Live(window);
  if (s == nullptr) return;
  if (s->action != nullptr) {
    Status result = s->action(s->context, window, action);
    if (Live(window) != nullptr && result.code() < 128 && (result.code() & 8) != 0) {
      (void)CloseWindow(window, static_cast<uint16_t>(result.code() & ~(4 | 8 | 16)));
    }
    return;
  }
  Status result = ScreenAction(window, field, action);
  if (Live(window) == nullptr) return;
  if (result.code() < 128 && (result.code() & 8) != 0) {
    (void)CloseWindow(window, static_cast<uint16_t>(result.code() & ~(4 | 8 | 16)));
    return;
  }
  // 163 is an action nobody handles here (a key with no meaning for this
  // screen): nothing to report.
  if (result.code() > 121 && result != Status::kBadInputData && result != Status::kUserCanceled) {
    (void)ShowError(result);
  }
}

Status QtWindowLayer::ReadBack(WindowId window, int field) {
  if (field <= 0) return Status::kOk;
  AreaMark mark;
  Slice text = FieldControlText(window, field);
  return mark.Release(ScreenSetField(kMaskTypedFiles, field, text));
}

Status QtWindowLayer::ScreenAction(WindowId window, int field, int action) {
  int low = action & 0xff;
  int inst = InstanceOf(window);
  if (inst < 0) {
    if (low == 21 || low == 28) (void)CloseWindow(window, Status::kUserCanceled);
    return Status::kOk;
  }
  if (ScreenCurrentNumber() != inst) {
    Status s = ScreenSwitchTo(inst);
    if (!s.ok()) return s;
  }
  ScreenInstance* instance = ScreenInstanceAt(inst);
  if (low == 91) {
    if ((instance->state & kStateCallbacksOff) != 0 || field == instance->current_field) {
      return Status::kOk;
    }
    int before = instance->current_field;
    Status s = ScreenMoveTo(field);
    if (s == Status::kBadUserData) {
      if (before > 0) (void)FocusField(window, before, true);
      return Status::kOk;
    }
    if (QWidget* c = FieldWidget(window, field)) {
      if (auto* e = qobject_cast<QLineEdit*>(c)) e->selectAll();
    }
    Status r = ScreenDispatch(38);
    return r == Status::kBadInputData ? Status::kOk : r;
  }
  if (low == 92) return ReadBack(window, field);
  int last_key = Word(kLastKey);
  if (field > 0 && last_key != 3 && IsNavigationKey(last_key)) {
    Status s = ReadBack(window, field);
    if (s.code() >= 128) {
      (void)FocusField(window, field, true);
      return s;
    }
  }
  Status result = ScreenDispatch(action);
  if (Live(window) == nullptr) return Status::kOk;
  if ((low == 21 || low == 28) && result == Status::kBadInputData) {
    // No handler takes the cancel: the window simply closes.
    (void)CloseWindow(window, Status::kUserCanceled);
    return Status::kOk;
  }
  if (result == Status(64)) {
    (void)CloseWindow(window, result);
    return Status::kOk;
  }
  if (result == Status::kBadUserData) {
    ScreenInstance* now = ScreenInstanceAt(inst);
    if (now != nullptr && now->current_field > 0) (void)FocusField(window, now->current_field, true);
    return Status::kOk;
  }
  return result;
}

void QtWindowLayer::ControlAction(WindowId window, int field, int action) {
  Dispatch(window, field, action);
}

void QtWindowLayer::ControlFocus(WindowId window, int field, bool in, Qt::FocusReason reason) {
  Slot* s = Live(window);
  if (s == nullptr || s->action != nullptr) return;
  if (in) {
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
    Dispatch(window, field, 91);
  } else if (reason == Qt::MouseFocusReason) {
    // A click elsewhere leaves the field without a key that would have
    // taken its text.
    Status st = ReadBack(window, field);
    if (st.code() >= 128) (void)ShowError(st);
  }
}

// ---- Operations on controls ----------------------------------------------------------------

Status QtWindowLayer::SetWindowTitle(WindowId window, Slice title) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  s->window->setWindowTitle(ToQt(title));
  return Status::kOk;
}

Status QtWindowLayer::StaticText(WindowId window, int row, int column, Slice text) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  ScreenGeometry g = ScreenGeometryInForce();
  int id = 4000 + column + row * g.columns;
  auto* label = new QLabel(ToQt(text), s->window->canvas());
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFont(WindowFont());
  label->setGeometry(CellX(column), CellY(row), CellsWidth(text.size()), CurrentCellMetrics().height);
  label->show();
  s->window->SetControl(id, label);
  return Status::kOk;
}

Status QtWindowLayer::CreateFieldControl(WindowId window, const FieldControlSpec& spec) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  CellMetrics m = CurrentCellMetrics();
  int id = FieldControlId(spec.field);
  QWidget* control = nullptr;
  int x = CellX(spec.column);
  int y = CellY(spec.row);
  if (spec.check_box) {
    auto* box = new FieldCheck(this, window, spec.field, s->window->canvas());
    box->setGeometry(x, y, CellsWidth(4), m.height);
    box->setEnabled(!spec.read_only);
    control = box;
  } else {
    auto* edit = new FieldEdit(this, window, spec.field, s->window->canvas());
    if (!spec.grid) x = std::max(1, x - m.width / 4);
    int height = spec.grid ? m.height - m.height / 8 : m.height;
    edit->setGeometry(x, y, EditWidth(spec.shown_width), height);
    edit->setFrame(!spec.grid);
    if (spec.display_width > 0) edit->setMaxLength(spec.display_width);
    edit->setReadOnly(spec.read_only);
    if (spec.password) edit->setEchoMode(QLineEdit::Password);
    edit->setAlignment(spec.right_aligned ? Qt::AlignRight | Qt::AlignVCenter
                                          : Qt::AlignLeft | Qt::AlignVCenter);
    edit->setTextMargins(0, 0, 0, 0);
    if (spec.grid) edit->raise();
    control = edit;
  }
  control->setObjectName(QStringLiteral("field%1").arg(spec.field));
  control->setFont(WindowFont());
  control->show();
  s->window->SetControl(id, control);
  return Status::kOk;
}

Status QtWindowLayer::SetFieldText(WindowId window, int field, Slice text, int flags) {
  QWidget* c = FieldWidget(window, field);
  if (c == nullptr) return Live(window) == nullptr ? Status::kBadInputData : Status::kOk;
  if (auto* box = qobject_cast<QCheckBox*>(c)) {
    Slice t = Trim(text);
    box->setChecked(t.size() > 0 && t[0] == '1');
    (void)flags;
    return Status::kOk;
  }
  if (auto* edit = qobject_cast<QLineEdit*>(c)) {
    edit->setText(ToQt(text));
    edit->setCursorPosition(0);
    return Status::kOk;
  }
  return Status::kWindowsControlError;
}

Slice QtWindowLayer::FieldControlText(WindowId window, int field) {
  QWidget* c = FieldWidget(window, field);
  std::string text;
  if (auto* box = qobject_cast<QCheckBox*>(c)) {
    text = box->isChecked() ? "1" : "";
  } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
    text = FromQt(edit->text());
  }
  return Area().Push(Slice::Of(text));
}

Status QtWindowLayer::FocusField(WindowId window, int field, bool select_all) {
  QWidget* c = FieldWidget(window, field);
  if (c == nullptr) return Status::kOk;
  c->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(c)) {
    if (select_all) edit->selectAll();
  }
  if (Slot* s = Live(window)) s->window->scrollArea()->ensureWidgetVisible(c);
  return Status::kOk;
}

Status QtWindowLayer::EnableField(WindowId window, int field, bool enabled) {
  if (QWidget* c = FieldWidget(window, field)) c->setEnabled(enabled);
  return Status::kOk;
}

Status QtWindowLayer::ShowField(WindowId window, int field, bool visible) {
  if (QWidget* c = FieldWidget(window, field)) c->setVisible(visible);
  return Status::kOk;
}

Status QtWindowLayer::SetStatusLine(WindowId window, Slice text) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  s->window->status()->setText(ToQt(text));
  s->window->status()->show();
  return Status::kOk;
}

QWidget* QtWindowLayer::Widget(WindowId window) {
  Slot* s = Live(window);
  return s == nullptr ? nullptr : s->window;
}

QWidget* QtWindowLayer::Field(WindowId window, int field) {
  Slot* s = Live(window);
  return s == nullptr ? nullptr : s->window->Control(FieldControlId(field));
}

// ---- Installation ------------------------------------------------------------------------

namespace {
std::unique_ptr<QApplication> g_application;
std::unique_ptr<QtWindowLayer> g_layer;
std::unique_ptr<QtMessageBoxUi> g_boxes;
}  // namespace

namespace {

// While a procedure runs its lines, the windows are repainted now and then;
// the user's input waits for the run to end (a click must not start other
// work in the middle of it). A break comes from the progress dialog's
// Cancel or from an interrupt.
bool PumpDuringProcedures() {
  static QElapsedTimer since;
  if (since.isValid() && since.elapsed() < 50) return false;
  since.start();
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  return false;
}

}  // namespace

void InstallQtWindows(int* argc, char** argv) {
  if (QApplication::instance() == nullptr) {
    g_application = std::make_unique<QApplication>(*argc, argv);
  }
  QApplication::setApplicationName(QStringLiteral("Tessaly"));
  if (g_layer == nullptr) g_layer = std::make_unique<QtWindowLayer>();
  if (g_boxes == nullptr) g_boxes = std::make_unique<QtMessageBoxUi>(g_layer.get());
  SetWindowLayer(g_layer.get());
  InstallMessageBoxUi(g_boxes.get());
  InstallQtChoices();
  SetMessagePump(&PumpDuringProcedures);
}

void RemoveQtWindows() {
  if (g_layer == nullptr) return;
  SetMessagePump(nullptr);
  RemoveQtChoices();
  g_layer->CloseAllWindows();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  SetWindowLayer(nullptr);
  InstallMessageBoxUi(nullptr);
  g_boxes.reset();
  g_layer.reset();
  // The application object goes before the program's static objects do.
  g_application.reset();
}

bool QtWindowsInstalled() { return g_layer != nullptr && &Windows() == g_layer.get(); }

QRect WorkArea(bool* configured) {
  if (configured != nullptr) *configured = false;
  QRect work = QGuiApplication::primaryScreen() != nullptr
                   ? QGuiApplication::primaryScreen()->availableGeometry()
                   : QRect(0, 0, 1024, 768);
  AreaMark mark;
  int width = Integer(Trim(CommandLineValue(Slice("SCRWID"))));
  int height = Integer(Trim(CommandLineValue(Slice("SCRHIG"))));
  if (width > 0 && height > 0) {
    if (configured != nullptr) *configured = true;
    work.setSize(QSize(width, height));
  }
  return work;
}

QWidget* ListViewWidget(int view) {
  return g_layer == nullptr ? nullptr : g_layer->ListView(view);
}

QWidget* ComboWidget(int combo) { return g_layer == nullptr ? nullptr : g_layer->Combo(combo); }

QWidget* PictureWidget() { return g_layer == nullptr ? nullptr : g_layer->Picture(); }

QWidget* WindowWidget(WindowId window) {
  return g_layer == nullptr ? nullptr : g_layer->Widget(window);
}

QWidget* FieldWidget(WindowId window, int field) {
  return g_layer == nullptr ? nullptr : g_layer->Field(window, field);
}

WindowId MainWindow() { return g_layer == nullptr ? kNoWindow : g_layer->Main(); }

bool WindowEnabled(WindowId window) {
  QWidget* w = WindowWidget(window);
  return w != nullptr && w->isEnabled();
}

}  // namespace tessaly
