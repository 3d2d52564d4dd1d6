// Buttons, list views, combo boxes, the picture, the font table and the
// private messages of the Qt window layer.
//
// List views and combo boxes live in process-wide slots (4 and 80); a slot
// is free again once its control is destroyed or its window has closed.
// The picture is one per process: showing it in another window moves it.

#include <QtCore/QCoreApplication>
#include <QtGui/QCursor>
#include <QtGui/QFontDatabase>
#include <QtGui/QKeyEvent>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtWidgets/QApplication>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollArea>
#include <QtWidgets/QScrollBar>
#include <algorithm>
#include <cassert>
#include <cmath>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/startup.h"
#include "core/string_area.h"
#include "core/text.h"
#include "platform/paths.h"
#include "ui/qt/qt_windows_internal.h"
#include "ui/screen.h"

namespace tessaly {
namespace {

constexpr int kListViewSlots = 4;
constexpr int kComboSlots = 80;
constexpr int kListViewIdBase = 3200;
constexpr int kComboIdBase = 3500;
constexpr int kConfirmId = 3100;
constexpr int kLogoResource = 102;

// The font entry made current by SelectFontEntry; 0: the window font.
int g_current_font = 0;

bool IsNumericType(char type) {
  return type != '\0' && std::string_view("NL123456789").find(type) != std::string_view::npos;
}

std::vector<std::string> ComboItems(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(',', start);
    std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    items.push_back(Trim(Slice::Of(item)).str());
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

// Our own start-up logo: a field of hexagonal tiles behind the name.
QPixmap DrawLogo() {
  QPixmap logo(360, 180);
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, logo.height());
  sky.setColorAt(0, QColor(22, 48, 92));
  sky.setColorAt(1, QColor(18, 110, 130));
  p.fillRect(logo.rect(), sky);
  const double r = 18;
  const double w = std::sqrt(3.0) * r;
  for (int row = 0; row * 1.5 * r < logo.height() + r; ++row) {
    for (int col = 0; col * w < logo.width() + w; ++col) {
      double cx = col * w + (row % 2 != 0 ? w / 2 : 0);
      double cy = row * 1.5 * r;
      QPainterPath hex;
      for (int k = 0; k < 6; ++k) {
        double a = (60.0 * k - 30.0) * M_PI / 180.0;
        QPointF pt(cx + (r - 2) * std::cos(a), cy + (r - 2) * std::sin(a));
        if (k == 0)
          hex.moveTo(pt);
        else
          hex.lineTo(pt);
      }
      hex.closeSubpath();
      int shade = 40 + ((row * 7 + col * 3) % 5) * 12;
      p.fillPath(hex, QColor(255, 255, 255, shade));
    }
  }
  p.fillRect(QRect(0, 58, logo.width(), 64), QColor(10, 20, 40, 150));
  QFont name = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  name.setPixelSize(44);
  name.setBold(true);
  p.setFont(name);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 58, logo.width(), 64), Qt::AlignCenter, QStringLiteral("Tessaly"));
  p.end();
  return logo;
}

}  // namespace

bool PlainControls() { return (Word(kCompat) & 512) != 0; }

// ---- Font table ---------------------------------------------------------------------

int RegisterWindowFont(int height, int width, int weight, Slice face) {
  CellMetrics m = CurrentCellMetrics();
  FontEntry entry;
  entry.height = height == -1 ? m.height : height;
  entry.width = width == -1 ? m.width : width;
  entry.weight = weight == 0 ? 400 : weight == 1 ? 700 : weight;
  entry.face = Substring(face, 0, 31).str();
  return RegisterFont(entry);
}

Status SelectFontEntry(int n) {
  if (GetFont(n) == nullptr) return Status::kBadInputData;
  g_current_font = n;
  return Status::kOk;
}

int CurrentFontEntry() {
  if (g_current_font != 0 && GetFont(g_current_font) != nullptr) return g_current_font;
  return WindowFontEntry() != 0 ? WindowFontEntry() : 1;
}

Status SetControlFont(QWidget* control, int kind) {
  // REQUIRES: control is not null.
  assert(control != nullptr);
  switch (kind) {
    case 0:
      control->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
      return Status::kOk;
    case 2:
      control->setFont(WindowFont());
      return Status::kOk;
    default:
      return Status::kBadInputData;
  }
}

QPixmap LogoPixmap() {
  static const QPixmap logo = DrawLogo();
  return logo;
}

// ---- Private messages ------------------------------------------------------------------

bool PostPortData(WindowId window, int parameter) {
  QWidget* w = WindowWidget(window);
  if (w == nullptr) return false;
  QCoreApplication::postEvent(w, new ParameterEvent(kPortDataEvent, parameter));
  return true;
}

bool PostFieldWindowRequest(WindowId window, int field) {
  auto* edit = qobject_cast<QLineEdit*>(FieldWidget(window, field));
  if (edit == nullptr) return false;
  QCoreApplication::postEvent(edit, new ParameterEvent(kFieldWindowEvent, field));
  return true;
}

void QtWindowLayer::PrivateMessage(WindowId window, int field, const ParameterEvent& e) {
  if (e.type() == kPortDataEvent) {
    Dispatch(window, 0, 23 | ((e.parameter() & 0xff) << 8));
  } else if (e.type() == kFieldWindowEvent) {
    Dispatch(window, field, 18);
  }
}

// ---- Buttons ----------------------------------------------------------------------------

WindowActionFn QtWindowLayer::WindowAction(WindowId window, void** context) {
  Slot* s = Live(window);
  *context = s == nullptr ? nullptr : s->context;
  return s == nullptr ? nullptr : s->action;
}

Status QtWindowLayer::CreateButton(WindowId window, const ButtonSpec& spec) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  CellMetrics m = CurrentCellMetrics();
  // Negative cells count from the far edges of the window: the right edge
  // of the content, the last row of the bottom margin.
  int column = spec.column > 0 ? spec.column : s->columns + spec.column + 1;
  int row = spec.row > 0 ? spec.row : s->rows + ScreenGeometryInForce().bottom + spec.row + 1;
  int x = CellX(std::max(1, column));
  int y = CellY(std::max(1, row)) - (spec.half_up ? m.height / 2 : 0);
  auto* button = new QPushButton(ToQt(Slice::Of(spec.text)), s->window->canvas());
  button->setObjectName(QStringLiteral("button%1").arg(spec.id));
  button->setFont(WindowFont());
  button->setGeometry(x, std::max(0, y), CellsWidth(spec.width), m.height + 2);
  button->setAutoDefault(false);
  int id = spec.id;
  QObject::connect(button, &QPushButton::clicked, s->window,
                   [this, window, id] { CommandAction(window, id); });
  button->show();
  s->window->SetControl(id, button);
  return Status::kOk;
}

bool QtWindowLayer::HasControl(WindowId window, int id) {
  Slot* s = Live(window);
  return s != nullptr && s->window->Control(id) != nullptr;
}

Status QtWindowLayer::SetControlText(WindowId window, int id, Slice text) {
  Slot* s = Live(window);
  QWidget* c = s == nullptr ? nullptr : s->window->Control(id);
  if (auto* b = qobject_cast<QAbstractButton*>(c)) {
    b->setText(ToQt(text));
  } else if (auto* l = qobject_cast<QLabel*>(c)) {
    l->setText(ToQt(text));
  } else if (auto* e = qobject_cast<QLineEdit*>(c)) {
    e->setText(ToQt(text));
  } else {
    return Status::kWindowsControlError;
  }
  return Status::kOk;
}

// ---- List views -------------------------------------------------------------------------

ListViewControl::ListViewControl(QtWindowLayer* layer, WindowId window, QWidget* parent)
    : QTableWidget(parent), layer_(layer), window_(window) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(CurrentCellMetrics().height);
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setHighlightSections(false);
  setFont(WindowFont());
  QPalette p = palette();
  p.setColor(QPalette::Base, QColor(224, 224, 255));
  p.setColor(QPalette::Text, Qt::black);
  setPalette(p);
  QObject::connect(this, &QTableWidget::cellDoubleClicked, this,
                   [this](int, int) { layer_->CommandAction(window_, kConfirmId); });
}

void ListViewControl::keyPressEvent(QKeyEvent* e) {
  // The confirmation and the cancel of a list are its own notifications,
  // not key translation: they stay with plain controls too.
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!selectionModel()->selectedRows().isEmpty()) layer_->ListConfirmed(window_);
      return;
    case Qt::Key_Escape:
      layer_->ListEscape(window_);
      return;
    default:
      QTableWidget::keyPressEvent(e);
  }
}

void QtWindowLayer::ListConfirmed(WindowId window) {
  SetWord(kLastKey, 4);
  Dispatch(window, 0, 94);
}

void QtWindowLayer::ListEscape(WindowId window) {
  SetWord(kLastKey, 3);
  int action = KeyMapAction(Word(kKeyMap), 3);
  if (action != 0) Dispatch(window, 0, action);
}

ListViewControl* QtWindowLayer::ListView(int view) const {
  if (view < 0 || view >= kListViewSlots) return nullptr;
  const ListSlot& l = lists_[static_cast<size_t>(view)];
  if (l.view == nullptr) return nullptr;
  const Slot& s = slots_[static_cast<size_t>(l.window)];
  return s.window != nullptr && !s.closed ? l.view.data() : nullptr;
}

int QtWindowLayer::ListViewCreate(WindowId window, const ListViewSpec& spec) {
  Slot* s = Live(window);
  if (s == nullptr) return -1;
  for (int v = 0; v < kListViewSlots; ++v) {
    if (ListView(v) != nullptr) continue;
    auto* view = new ListViewControl(this, window, s->window->canvas());
    view->setObjectName(QStringLiteral("listview%1").arg(v));
    view->setGeometry(CellX(spec.column), CellY(spec.row), CellsWidth(spec.columns),
                      CellsHeight(spec.rows));
    view->show();
    s->window->SetControl(kListViewIdBase + v, view);
    lists_[static_cast<size_t>(v)] = ListSlot{view, window};
    return v;
  }
  return -1;
}

Status QtWindowLayer::ListViewAddColumn(int view, Slice title, int width, char type) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return Status::kWindowsControlError;
  int column = v->columnCount();
  v->setColumnCount(column + 1);
  bool right = IsNumericType(type);
  auto* header = new QTableWidgetItem(ToQt(title));
  header->setTextAlignment(right ? Qt::AlignRight | Qt::AlignVCenter
                                 : Qt::AlignLeft | Qt::AlignVCenter);
  v->setHorizontalHeaderItem(column, header);
  v->setColumnWidth(column, CellsWidth(std::max(1, width)));
  v->right_aligned.resize(static_cast<size_t>(column) + 1);
  v->right_aligned[static_cast<size_t>(column)] = right;
  return Status::kOk;
}

Status QtWindowLayer::ListViewSetItem(int view, int row, int column, Slice text) {
  ListViewControl* v = ListView(view);
  if (v == nullptr || row < 0 || column < 0) return Status::kWindowsControlError;
  if (row >= v->rowCount()) v->setRowCount(row + 1);
  if (column >= v->columnCount()) v->setColumnCount(column + 1);
  auto* item = new QTableWidgetItem(ToQt(text));
  bool right = static_cast<size_t>(column) < v->right_aligned.size() &&
               v->right_aligned[static_cast<size_t>(column)];
  item->setTextAlignment(right ? Qt::AlignRight | Qt::AlignVCenter
                               : Qt::AlignLeft | Qt::AlignVCenter);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  v->setItem(row, column, item);
  return Status::kOk;
}

Slice QtWindowLayer::ListViewItem(int view, int row, int column) {
  ListViewControl* v = ListView(view);
  QTableWidgetItem* item = v == nullptr ? nullptr : v->item(row, column);
  if (item == nullptr) return Slice();
  return Area().Push(Slice::Of(FromQt(item->text())));
}

int QtWindowLayer::ListViewRowCount(int view) {
  ListViewControl* v = ListView(view);
  return v == nullptr ? 0 : v->rowCount();
}

Status QtWindowLayer::ListViewClear(int view) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return Status::kWindowsControlError;
  v->clearSelection();
  v->setRowCount(0);
  return Status::kOk;
}

int QtWindowLayer::ListViewSelected(int view) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return -1;
  QModelIndexList rows = v->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

int QtWindowLayer::ListViewRowAtCursor(int view) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return -1;
  QPoint at = v->viewport()->mapFromGlobal(QCursor::pos());
  if (!v->viewport()->rect().contains(at)) return -1;
  return v->rowAt(at.y());
}

Status QtWindowLayer::ListViewSelect(int view, int row, bool selected) {
  ListViewControl* v = ListView(view);
  if (v == nullptr || row < 0 || row >= v->rowCount()) return Status::kWindowsControlError;
  if (selected) {
    v->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    v->scrollToItem(v->item(row, 0));
  } else if (ListViewSelected(view) == row) {
    v->clearSelection();
  }
  return Status::kOk;
}

Status QtWindowLayer::ListViewScroll(int view, int lines) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return Status::kWindowsControlError;
  QScrollBar* bar = v->verticalScrollBar();
  bar->setValue(bar->value() + lines);
  return Status::kOk;
}

Status QtWindowLayer::ListViewShow(int view) {
  ListViewControl* v = ListView(view);
  if (v == nullptr) return Status::kWindowsControlError;
  v->show();
  v->setFocus(Qt::OtherFocusReason);
  return Status::kOk;
}

void QtWindowLayer::ListViewDestroy(int view) {
  for (int v = 0; v < kListViewSlots; ++v) {
    if (view >= 0 && v != view) continue;
    ListSlot& l = lists_[static_cast<size_t>(v)];
    if (Slot* s = Live(l.window)) s->window->ForgetControl(kListViewIdBase + v);
    if (l.view != nullptr) {
      l.view->hide();
      l.view->deleteLater();
    }
    l = ListSlot{};
  }
}

// ---- Combo boxes --------------------------------------------------------------------------

namespace {
// Enter confirms the window, Esc takes the key map's action for Esc;
// false when the key is the control's own.
bool ComboKey(QtWindowLayer* layer, WindowId window, QKeyEvent* e) {
  if (PlainControls()) return false;
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      layer->CommandAction(window, kConfirmId);
      return true;
    case Qt::Key_Escape:
      layer->ListEscape(window);
      return true;
    default:
      return false;
  }
}
}  // namespace

ComboDropDown::ComboDropDown(QtWindowLayer* layer, WindowId window, QWidget* parent)
    : QComboBox(parent), layer_(layer), window_(window) {}

void ComboDropDown::keyPressEvent(QKeyEvent* e) {
  if (!ComboKey(layer_, window_, e)) QComboBox::keyPressEvent(e);
}

ComboSimple::ComboSimple(QtWindowLayer* layer, WindowId window, QWidget* parent)
    : QListWidget(parent), layer_(layer), window_(window) {}

void ComboSimple::keyPressEvent(QKeyEvent* e) {
  if (!ComboKey(layer_, window_, e)) QListWidget::keyPressEvent(e);
}

QWidget* QtWindowLayer::Combo(int combo) const {
  if (combo < 0 || combo >= kComboSlots) return nullptr;
  const ComboSlot& c = combos_[static_cast<size_t>(combo)];
  if (c.box == nullptr) return nullptr;
  const Slot& s = slots_[static_cast<size_t>(c.window)];
  return s.window != nullptr && !s.closed ? c.box.data() : nullptr;
}

int QtWindowLayer::ComboCreate(WindowId window, const ComboSpec& spec) {
  Slot* s = Live(window);
  if (s == nullptr) return -1;
  for (int k = 0; k < kComboSlots; ++k) {
    if (Combo(k) != nullptr) continue;
    std::vector<std::string> items = ComboItems(spec.list);
    int longest = 0;
    for (const std::string& item : items)
      longest = std::max(longest, static_cast<int>(item.size()));
    CellMetrics m = CurrentCellMetrics();
    int width = CellsWidth(longest) + 20 + (spec.drop_down ? 20 : 0);
    QWidget* box = nullptr;
    if (spec.drop_down) {
      auto* drop = new ComboDropDown(this, window, s->window->canvas());
      for (const std::string& item : items) drop->addItem(ToQt(Slice::Of(item)));
      drop->setMaxVisibleItems(5);
      drop->setCurrentIndex(-1);
      drop->setGeometry(CellX(spec.column), CellY(spec.row), width, m.height + 4);
      box = drop;
    } else {
      auto* list = new ComboSimple(this, window, s->window->canvas());
      for (const std::string& item : items) list->addItem(ToQt(Slice::Of(item)));
      // Every item shows: the list is as high as its lines and never scrolls.
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setUniformItemSizes(true);
      list->setSpacing(0);
      for (int i = 0; i < list->count(); ++i) list->item(i)->setSizeHint(QSize(width, m.height));
      list->setGeometry(CellX(spec.column), CellY(spec.row), width,
                        static_cast<int>(items.size()) * m.height + 2 * list->frameWidth());
      box = list;
    }
    box->setObjectName(QStringLiteral("combo%1").arg(k));
    box->setFont(WindowFont());
    box->show();
    s->window->SetControl(kComboIdBase + k, box);
    combos_[static_cast<size_t>(k)] = ComboSlot{box, window};
    return k;
  }
  return -1;
}

int QtWindowLayer::ComboSelection(int combo) {
  QWidget* box = Combo(combo);
  if (auto* drop = qobject_cast<QComboBox*>(box)) return drop->currentIndex();
  if (auto* list = qobject_cast<QListWidget*>(box)) {
    QList<QListWidgetItem*> chosen = list->selectedItems();
    return chosen.isEmpty() ? -1 : list->row(chosen.first());
  }
  return -1;
}

Status QtWindowLayer::ComboSelect(int combo, int item) {
  QWidget* box = Combo(combo);
  if (auto* drop = qobject_cast<QComboBox*>(box)) {
    if (item < -1 || item >= drop->count()) return Status::kWindowsControlError;
    drop->setCurrentIndex(item);
    return Status::kOk;
  }
  if (auto* list = qobject_cast<QListWidget*>(box)) {
    if (item < -1 || item >= list->count()) return Status::kWindowsControlError;
    if (item == -1)
      list->clearSelection();
    else
      list->setCurrentRow(item, QItemSelectionModel::ClearAndSelect);
    return Status::kOk;
  }
  return Status::kWindowsControlError;
}

void QtWindowLayer::ComboDestroy(int combo) {
  for (int k = 0; k < kComboSlots; ++k) {
    if (combo >= 0 && k != combo) continue;
    ComboSlot& c = combos_[static_cast<size_t>(k)];
    if (Slot* s = Live(c.window)) s->window->ForgetControl(kComboIdBase + k);
    if (c.box != nullptr) {
      c.box->hide();
      c.box->deleteLater();
    }
    c = ComboSlot{};
  }
}

// ---- The picture ----------------------------------------------------------------------------

Status QtWindowLayer::ShowPicture(WindowId window, Slice file) {
  Slot* s = Live(window);
  if (s == nullptr) return Status::kBadInputData;
  QPixmap pixmap;
  if (file.ok() && file.str() == kLogoPicture) {
    pixmap = LogoPixmap();
  } else if (file.ok() && !file.empty() && file[0] != '#') {
    std::string native;
    if (platform::ResolvePath(file.view(), platform::Resolve::kExisting, &native) == 0) {
      (void)pixmap.load(QString::fromStdString(native));
    }
  }
  if (pixmap.isNull()) {
    // The picture already shown stays.
    return SetDetail(Status::kBadInputData, file.ok() ? file : Slice());
  }
  picture_pixmap_ = pixmap;
  if (picture_ != nullptr && picture_window_ != window) {
    picture_->hide();
    picture_->deleteLater();
    picture_ = nullptr;
  }
  if (picture_ == nullptr) {
    picture_ = new QLabel(s->window->canvas());
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picture_->setAlignment(Qt::AlignCenter);
  }
  picture_window_ = window;
  PlacePicture(window);
  picture_->show();
  return Status::kOk;
}

void QtWindowLayer::PlacePicture(WindowId window) {
  Slot* s = Live(window);
  if (s == nullptr || picture_ == nullptr || picture_window_ != window) return;
  QSize client = s->window->scrollArea()->viewport()->size();
  QRect area(3, 3, std::max(1, client.width() - 6), std::max(1, client.height() - 6));
  picture_->setGeometry(area);
  QSize room = picture_->contentsRect().size();
  QPixmap shown = picture_pixmap_;
  if (shown.width() > room.width() || shown.height() > room.height()) {
    shown = shown.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  picture_->setPixmap(shown);
}

}  // namespace tessaly
