// The classes of the Qt window layer, shared by its files and its tests.
#pragma once

#include <QtCore/QEvent>
#include <QtCore/QPointer>
#include <QtGui/QPixmap>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMainWindow>
#include <QtWidgets/QTableWidget>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/message_box.h"
#include "ui/qt/qt_windows.h"
#include "ui/window_layer.h"

class QEventLoop;
class QScrollArea;

namespace tessaly {

// Windows-1252 texts to and from the toolkit's strings.
QString ToQt(Slice text);
std::string FromQt(const QString& text);

class QtWindowLayer;

// Whether `_COMPAT` asks for plain controls: no key translation, no scanner.
bool PlainControls();

// The private messages: a scanner port has data (35040, action 23 with the
// parameter) and a field's window is wanted (35041 to an edit control,
// action 18).
inline constexpr QEvent::Type kPortDataEvent = static_cast<QEvent::Type>(QEvent::User + 40);
inline constexpr QEvent::Type kFieldWindowEvent = static_cast<QEvent::Type>(QEvent::User + 41);
class ParameterEvent : public QEvent {
 public:
  ParameterEvent(QEvent::Type type, int parameter) : QEvent(type), parameter_(parameter) {}
  int parameter() const { return parameter_; }

 private:
  int parameter_;
};

// The edit control of a field.
class FieldEdit : public QLineEdit {
 public:
  FieldEdit(QtWindowLayer* layer, WindowId window, int field, QWidget* parent);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
  int field_;
  bool scanning_ = false;
  QString scanned_;
};

// The check box of a logical field.
class FieldCheck : public QCheckBox {
 public:
  FieldCheck(QtWindowLayer* layer, WindowId window, int field, QWidget* parent);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
  int field_;
};

// A list view: a report view of one selectable row.
class ListViewControl : public QTableWidget {
 public:
  ListViewControl(QtWindowLayer* layer, WindowId window, QWidget* parent);
  std::vector<bool> right_aligned;  // per column

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
};

// A drop-down combo box.
class ComboDropDown : public QComboBox {
 public:
  ComboDropDown(QtWindowLayer* layer, WindowId window, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
};

// A simple combo box: every item shown.
class ComboSimple : public QListWidget {
 public:
  ComboSimple(QtWindowLayer* layer, WindowId window, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
};

// A window of the stack: a canvas of cells in a scroll area, a menu bar
// when it has one, and the status line.
class CellWindow : public QMainWindow {
 public:
  CellWindow(QtWindowLayer* layer, WindowId slot);
  WindowId slot() const { return slot_; }
  QWidget* canvas() const { return canvas_; }
  QScrollArea* scrollArea() const { return scroll_; }
  QLabel* status() const { return status_; }
  // The control of an identifier; null when none.
  QWidget* Control(int id) const;
  // Replaces the control of an identifier.
  void SetControl(int id, QWidget* control);
  // Drops the control of an identifier (destroyed by its owner).
  void ForgetControl(int id) { controls_.erase(id); }
  // After the client area changed size or the content was laid out: the
  // scroll bars (shown only when the content exceeds the client area by more
  // than a cell; a line is 2 pixels, a page one cell) and the picture.
  void ClientResized();

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId slot_;
  QScrollArea* scroll_;
  QWidget* canvas_;
  QLabel* status_;
  std::map<int, QPointer<QWidget>> controls_;
};

class QtWindowLayer final : public WindowLayer {
 public:
  QtWindowLayer();
  ~QtWindowLayer() override;

  WindowId TopWindow() override;
  Status SetWindowTitle(WindowId window, Slice title) override;
  Status StaticText(WindowId window, int row, int column, Slice text) override;
  Status CreateFieldControl(WindowId window, const FieldControlSpec& spec) override;
  Status SetFieldText(WindowId window, int field, Slice text, int flags) override;
  Slice FieldControlText(WindowId window, int field) override;
  Status FocusField(WindowId window, int field, bool select_all) override;
  Status EnableField(WindowId window, int field, bool enabled) override;
  Status ShowField(WindowId window, int field, bool visible) override;
  Status SetStatusLine(WindowId window, Slice text) override;
  WindowActionFn WindowAction(WindowId window, void** context) override;
  Status CreateButton(WindowId window, const ButtonSpec& spec) override;
  bool HasControl(WindowId window, int id) override;
  Status SetControlText(WindowId window, int id, Slice text) override;
  int ListViewCreate(WindowId window, const ListViewSpec& spec) override;
  Status ListViewAddColumn(int view, Slice title, int width, char type) override;
  Status ListViewSetItem(int view, int row, int column, Slice text) override;
  Slice ListViewItem(int view, int row, int column) override;
  int ListViewRowCount(int view) override;
  Status ListViewClear(int view) override;
  int ListViewSelected(int view) override;
  int ListViewRowAtCursor(int view) override;
  Status ListViewSelect(int view, int row, bool selected) override;
  Status ListViewScroll(int view, int lines) override;
  Status ListViewShow(int view) override;
  void ListViewDestroy(int view) override;
  int ComboCreate(WindowId window, const ComboSpec& spec) override;
  int ComboSelection(int combo) override;
  Status ComboSelect(int combo, int item) override;
  void ComboDestroy(int combo) override;
  Status ShowPicture(WindowId window, Slice file) override;
  WindowId OpenWindow(const WindowRequest& request, Status* status) override;
  Status RunWindow(WindowId window) override;
  Status CloseWindow(WindowId window, Status result) override;
  void CloseAllWindows() override;
  bool PumpMessages() override;
  int WindowCount() override;

  // From the controls and windows.
  void ControlAction(WindowId window, int field, int action);
  void ControlFocus(WindowId window, int field, bool in, Qt::FocusReason reason);
  void RequestClose(WindowId window);
  // A command from a control or menu item of the window (its identifier).
  void CommandAction(WindowId window, int id);
  // The window became the active one.
  void WindowActivated(WindowId window);
  // Esc in a list control: the key map's action for Esc.
  void ListEscape(WindowId window);
  // A list selection confirmed by the user.
  void ListConfirmed(WindowId window);
  void PrivateMessage(WindowId window, int field, const ParameterEvent& e);
  // Places the picture again after the window changed size.
  void PlacePicture(WindowId window);
  ListViewControl* ListView(int view) const;
  QLabel* Picture() const { return picture_.data(); }
  QWidget* Combo(int combo) const;
  bool IsClosing(WindowId window, const CellWindow* w) const;

  QWidget* Widget(WindowId window);
  QWidget* Field(WindowId window, int field);
  WindowId Main() const;
  bool HasMain() const { return main_ != kNoWindow; }

 private:
  struct Slot {
    CellWindow* window = nullptr;
    int kind = 0;
    int show_state = 1;  // 1 normal, 4 maximized
    bool modal = false;
    bool main = false;
    bool closed = false;
    WindowActionFn action = nullptr;
    void* context = nullptr;
    Status result;
    QEventLoop* loop = nullptr;
    int columns = 0;  // content in cells (buttons count from its far edges)
    int rows = 0;
    bool focused_once = false;
  };
  struct ListSlot {
    QPointer<ListViewControl> view;
    WindowId window = kNoWindow;
  };
  struct ComboSlot {
    QPointer<QWidget> box;
    WindowId window = kNoWindow;
  };

  Slot* Live(WindowId window);
  void SaveOrder();
  void UpdateEnabled();
  QString ClassName(int kind, Slice title) const;
  void BuildMenuBar(CellWindow* w, const std::vector<MenuEntry>& entries);
  void FocusFirstField(WindowId window);
  void MaybeScreenshot(WindowId window);
  int InstanceOf(WindowId window) const;
  void Dispatch(WindowId window, int field, int action);
  Status ScreenAction(WindowId window, int field, int action);
  Status ReadBack(WindowId window, int field);

  std::array<Slot, 32> slots_{};
  std::vector<WindowId> order_;  // bottom first
  WindowId main_ = kNoWindow;
  bool screenshot_taken_ = false;
  std::array<ListSlot, 4> lists_{};
  std::array<ComboSlot, 80> combos_{};
  // The one picture of the process and the window it is shown in.
  QPointer<QLabel> picture_;
  QPixmap picture_pixmap_;
  WindowId picture_window_ = kNoWindow;
};

// Message boxes as the toolkit's boxes.
class QtMessageBoxUi final : public MessageBoxUi {
 public:
  explicit QtMessageBoxUi(QtWindowLayer* layer) : layer_(layer) {}
  BoxButton Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) override;
  bool HasMainWindow() const override { return layer_->HasMain(); }
  void DrainPendingMessages() override;

 private:
  QtWindowLayer* layer_;
};

}  // namespace tessaly
