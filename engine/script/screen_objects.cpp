// screen (width, height, availWidth, availHeight) and window.screenX / screenY (and
// screenLeft / screenTop) for page script, read from the frame each time: an off-screen
// browser asks its render handler, a window the system.
#include "script/context.h"

namespace cef_engine::script {
namespace {

constexpr const char* kContextId = DUK_HIDDEN_SYMBOL("context");

enum ScreenOp : int { kScreenWidth, kScreenHeight, kScreenX, kScreenY };

duk_ret_t ScreenEntry(duk_context* ctx) {
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kContextId);
  const std::shared_ptr<ContextState> state = ContextState::FromId(duk_get_int(ctx, -1));
  duk_pop_2(ctx);
  FrameHooks* hooks = state && state->valid() ? state->hooks() : nullptr;
  int value = 0;
  if (hooks) {
    const int op = duk_get_current_magic(ctx);
    if (op == kScreenWidth || op == kScreenHeight) {
      cef_rect_t screen{};
      if (hooks->ScreenRect(screen)) value = op == kScreenWidth ? screen.width : screen.height;
    } else {
      int x = 0, y = 0;
      if (hooks->ScreenPoint(0, 0, x, y)) value = op == kScreenX ? x : y;
    }
  }
  duk_push_int(ctx, value);
  return 1;
}

// A read-only property of the object on top whose getter asks the frame.
void Getter(duk_context* ctx, int context_id, const char* name, ScreenOp op) {
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, &ScreenEntry, 0);
  duk_set_magic(ctx, -1, op);
  duk_push_int(ctx, context_id);
  duk_put_prop_string(ctx, -2, kContextId);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE);
}

}  // namespace

void ContextState::InstallScreen(duk_context* ctx, duk_idx_t global) {
  duk_push_object(ctx);
  Getter(ctx, id_, "width", kScreenWidth);
  Getter(ctx, id_, "height", kScreenHeight);
  Getter(ctx, id_, "availWidth", kScreenWidth);
  Getter(ctx, id_, "availHeight", kScreenHeight);
  duk_put_prop_string(ctx, global, "screen");
  duk_dup(ctx, global);
  Getter(ctx, id_, "screenX", kScreenX);
  Getter(ctx, id_, "screenY", kScreenY);
  Getter(ctx, id_, "screenLeft", kScreenX);
  Getter(ctx, id_, "screenTop", kScreenY);
  duk_pop(ctx);
}

}  // namespace cef_engine::script
