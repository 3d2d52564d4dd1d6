#include "ui/window_layer.h"

namespace tessaly {
namespace {

// No display: nothing to draw on, and nothing fails for want of it, so that
// screens work the same in batch runs.
class HeadlessWindowLayer final : public WindowLayer {
 public:
  WindowId TopWindow() override { return kNoWindow; }
  Status SetWindowTitle(WindowId, Slice) override { return Status::kOk; }
  Status StaticText(WindowId, int, int, Slice) override { return Status::kOk; }
  Status CreateFieldControl(WindowId, const FieldControlSpec&) override { return Status::kOk; }
  Status SetFieldText(WindowId, int, Slice, int) override { return Status::kOk; }
  Slice FieldControlText(WindowId, int) override { return Slice(); }
  Status FocusField(WindowId, int, bool) override { return Status::kOk; }
  Status EnableField(WindowId, int, bool) override { return Status::kOk; }
  Status ShowField(WindowId, int, bool) override { return Status::kOk; }
  Status SetStatusLine(WindowId, Slice) override { return Status::kOk; }
};

HeadlessWindowLayer g_headless;
WindowLayer* g_layer = nullptr;

}  // namespace

bool IsModalKind(int kind) { return (kind >= 3 && kind <= 7) || kind == 9 || kind == 10; }

WindowLayer* SetWindowLayer(WindowLayer* layer) {
  WindowLayer* old = g_layer;
  g_layer = layer;
  return old;
}

WindowLayer& Windows() { return g_layer != nullptr ? *g_layer : g_headless; }

}  // namespace tessaly
