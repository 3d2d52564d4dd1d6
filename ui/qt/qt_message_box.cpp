// Message boxes of kinds 0-6 as the toolkit's boxes: the icon, the buttons
// and the caption of the kind, the text converted from Windows-1252.

#include <QtCore/QCoreApplication>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>

#include "ui/qt/qt_windows_internal.h"

namespace tessaly {
namespace {

struct ButtonOf {
  BoxButton button;
  QMessageBox::StandardButton qt;
};
constexpr ButtonOf kButtons[] = {
    {BoxButton::kOk, QMessageBox::Ok},   {BoxButton::kCancel, QMessageBox::Cancel},
    {BoxButton::kRetry, QMessageBox::Retry}, {BoxButton::kYes, QMessageBox::Yes},
    {BoxButton::kNo, QMessageBox::No},
};
static_assert(sizeof kButtons / sizeof kButtons[0] == 5);

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kWarning: return QMessageBox::Warning;
    case BoxIcon::kStop: return QMessageBox::Critical;
    case BoxIcon::kInformation: break;
  }
  return QMessageBox::Information;
}

}  // namespace

BoxButton QtMessageBoxUi::Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) {
  if (QApplication::instance() == nullptr) return HeadlessButton(kind);
  QMessageBox box(QtIcon(icon), ToQt(caption), ToQt(text));
  // Texts of the catalogue break lines with CR LF.
  box.setText(box.text().replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                  .replace(QLatin1Char('\r'), QLatin1Char('\n')));
  QMessageBox::StandardButtons buttons;
  for (const ButtonOf& b : kButtons) {
    if (HasButton(kind, b.button)) buttons |= b.qt;
  }
  box.setStandardButtons(buttons);
  // The safe answer is the default where there is one to fall back on.
  if (HasButton(kind, BoxButton::kYes)) box.setDefaultButton(QMessageBox::Yes);
  else if (HasButton(kind, BoxButton::kRetry)) box.setDefaultButton(QMessageBox::Retry);
  else box.setDefaultButton(QMessageBox::Ok);
  if (HasButton(kind, BoxButton::kCancel)) box.setEscapeButton(QMessageBox::Cancel);
  else if (HasButton(kind, BoxButton::kNo)) box.setEscapeButton(QMessageBox::No);
  if (QWidget* top = WindowWidget(Windows().TopWindow())) box.setParent(top, Qt::Dialog);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
  for (const ButtonOf& b : kButtons) {
    if (b.qt == pressed && HasButton(kind, b.button)) return b.button;
  }
  // Closed with the window's close button: the box's safe way out.
  if (HasButton(kind, BoxButton::kCancel)) return BoxButton::kCancel;
  if (HasButton(kind, BoxButton::kNo)) return BoxButton::kNo;
  return BoxButton::kOk;
}

void QtMessageBoxUi::DrainPendingMessages() {
  // With no window to receive them, pending input events are dropped here
  // rather than answering the box.
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

}  // namespace tessaly
