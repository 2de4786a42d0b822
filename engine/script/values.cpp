// Script value records (all 44 members), the value creation exports, and calls from
// script into the program's function handlers and accessors.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cef_engine.h"
#include "dom/record_entry.h"
#include "script/context.h"
#include "strings/text.h"

namespace cef_engine::script {
namespace {

constexpr const char* kUserCreated = DUK_HIDDEN_SYMBOL("user");
constexpr const char* kAccessorKey = DUK_HIDDEN_SYMBOL("key");

std::optional<uint32_t>& PendingRethrow() {
  static std::optional<uint32_t> slot;
  return slot;
}

// Leaves the stack as it was when the scope began.
class StackScope {
 public:
  explicit StackScope(duk_context* ctx) : ctx_(ctx), top_(duk_get_top(ctx)) {}
  ~StackScope() { duk_set_top(ctx_, top_); }
  StackScope(const StackScope&) = delete;
  StackScope& operator=(const StackScope&) = delete;

 private:
  duk_context* ctx_;
  duk_idx_t top_;
};

bool IsPrimitive(duk_context* ctx, duk_idx_t index) {
  return !duk_is_object(ctx, index) && !duk_is_symbol(ctx, index);
}


duk_ret_t AccessorEntry(duk_context* ctx);

// A native call refused for want of stack: the error script sees, as V8 words it.
Outcome StackExhausted(duk_context* ctx) {
  PushError(ctx, u"Maximum call stack size exceeded", DUK_ERR_RANGE_ERROR);
  return Outcome::kThrow;
}

class ValueObject final : public EngineObject<cef_v8value_t> {
 public:
  using Record = cef_v8value_t;
  ValueObject(std::shared_ptr<Heap> heap, uint32_t slot) : heap_(std::move(heap)), slot_(slot) {
    Record& r = *record();
    r.is_valid = Entry<&ValueObject::IsValid>;
    r.is_undefined = Entry<&ValueObject::Is<duk_is_undefined>>;
    r.is_null = Entry<&ValueObject::Is<duk_is_null>>;
    r.is_bool = Entry<&ValueObject::Is<duk_is_boolean>>;
    r.is_int = Entry<&ValueObject::IsInt>;
    r.is_uint = Entry<&ValueObject::IsUInt>;
    r.is_double = Entry<&ValueObject::Is<duk_is_number>>;
    r.is_date = Entry<&ValueObject::IsDate>;
    r.is_string = Entry<&ValueObject::Is<duk_is_string>>;
    r.is_object = Entry<&ValueObject::Is<duk_is_object>>;
    r.is_array = Entry<&ValueObject::Is<duk_is_array>>;
    r.is_function = Entry<&ValueObject::Is<duk_is_function>>;
    r.is_same = Entry<&ValueObject::IsSame>;
    r.get_bool_value = Entry<&ValueObject::GetBool>;
    r.get_int_value = Entry<&ValueObject::GetInt>;
    r.get_uint_value = Entry<&ValueObject::GetUInt>;
    r.get_double_value = Entry<&ValueObject::GetDouble>;
    r.get_date_value = Entry<&ValueObject::GetDate>;
    r.get_string_value = Entry<&ValueObject::GetString>;
    r.is_user_created = Entry<&ValueObject::IsUserCreated>;
    r.has_exception = Entry<&ValueObject::HasException>;
    r.get_exception = Entry<&ValueObject::GetException>;
    r.clear_exception = Entry<&ValueObject::ClearException>;
    r.will_rethrow_exceptions = Entry<&ValueObject::WillRethrow>;
    r.set_rethrow_exceptions = Entry<&ValueObject::SetRethrow>;
    r.has_value_bykey = Entry<&ValueObject::HasByKey>;
    r.has_value_byindex = Entry<&ValueObject::HasByIndex>;
    r.delete_value_bykey = Entry<&ValueObject::DeleteByKey>;
    r.delete_value_byindex = Entry<&ValueObject::DeleteByIndex>;
    r.get_value_bykey = Entry<&ValueObject::GetByKey>;
    r.get_value_byindex = Entry<&ValueObject::GetByIndex>;
    r.set_value_bykey = Entry<&ValueObject::SetByKey>;
    r.set_value_byindex = Entry<&ValueObject::SetByIndex>;
    r.set_value_byaccessor = Entry<&ValueObject::SetByAccessor>;
    r.get_keys = Entry<&ValueObject::GetKeys>;
    r.set_user_data = Entry<&ValueObject::SetUserData>;
    r.get_user_data = Entry<&ValueObject::GetUserData>;
    r.get_externally_allocated_memory = Entry<&ValueObject::GetExternalMemory>;
    r.adjust_externally_allocated_memory = Entry<&ValueObject::AdjustExternalMemory>;
    r.get_array_length = Entry<&ValueObject::GetArrayLength>;
    r.get_function_name = Entry<&ValueObject::GetFunctionName>;
    r.get_function_handler = Entry<&ValueObject::GetFunctionHandler>;
    r.execute_function = Entry<&ValueObject::ExecuteFunction>;
    r.execute_function_with_context = Entry<&ValueObject::ExecuteFunctionWithContext>;
  }
  ~ValueObject() override { heap_->Unpin(slot_); }

  // Pushes the value; the caller's thread must belong to this heap.
  void PushOn(duk_context* ctx) const { heap_->Push(ctx, slot_); }
  const std::shared_ptr<Heap>& heap() const noexcept { return heap_; }

 private:
  // Runs `f(ctx, index of the value)` with the stack restored afterwards.
  template <class F>
  auto With(F&& f) {
    duk_context* ctx = WorkThread(heap_->main());
    StackScope scope(ctx);
    heap_->Push(ctx, slot_);
    return f(ctx, duk_get_top_index(ctx));
  }
  cef_v8value_t* NewRecord(duk_context* ctx, duk_idx_t index) { return NewValueRecord(heap_, ctx, index); }

  int IsValid() { return 1; }  // a value stays usable as long as the program holds it
  template <duk_bool_t (*Test)(duk_context*, duk_idx_t)>
  int Is() {
    return With([](duk_context* ctx, duk_idx_t i) { return Test(ctx, i) ? 1 : 0; });
  }
  int IsInt() {
    return With([](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_number(ctx, i)) return 0;
      const double d = duk_get_number(ctx, i);
      return d == std::trunc(d) && d >= INT32_MIN && d <= INT32_MAX ? 1 : 0;
    });
  }
  int IsUInt() {
    return With([](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_number(ctx, i)) return 0;
      const double d = duk_get_number(ctx, i);
      return d == std::trunc(d) && d >= 0 && d <= UINT32_MAX ? 1 : 0;
    });
  }
  int IsDate() {
    return With([this](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_object(ctx, i)) return 0;
      heap_->PushHelper(ctx, Heap::Helper::kIsDate);
      duk_dup(ctx, i);
      return duk_pcall(ctx, 1) == DUK_EXEC_SUCCESS && duk_get_boolean(ctx, -1) ? 1 : 0;
    });
  }
  int IsSame(cef_v8value_t* that) {
    auto held = ProgramRef<cef_v8value_t>::Adopt(that);
    return With([&](duk_context* ctx, duk_idx_t i) {
      return PushValueRecord(ctx, that) && duk_strict_equals(ctx, i, -1) ? 1 : 0;
    });
  }
  int GetBool() {
    return With([](duk_context* ctx, duk_idx_t i) { return duk_to_boolean(ctx, i) ? 1 : 0; });
  }
  double GetDouble() {
    return With([](duk_context* ctx, duk_idx_t i) {
      return IsPrimitive(ctx, i) ? duk_to_number(ctx, i) : std::numeric_limits<double>::quiet_NaN();
    });
  }
  int GetInt() {
    return With([](duk_context* ctx, duk_idx_t i) { return IsPrimitive(ctx, i) ? duk_to_int32(ctx, i) : 0; });
  }
  uint32_t GetUInt() {
    return With(
        [](duk_context* ctx, duk_idx_t i) { return IsPrimitive(ctx, i) ? duk_to_uint32(ctx, i) : 0u; });
  }
  cef_time_t GetDate() {
    return With([this](duk_context* ctx, duk_idx_t i) {
      if (!IsDate()) return cef_time_t{};
      heap_->PushHelper(ctx, Heap::Helper::kDateMs);
      duk_dup(ctx, i);
      if (duk_pcall(ctx, 1) != DUK_EXEC_SUCCESS) return cef_time_t{};
      return TimeFromMs(duk_get_number_default(ctx, -1, 0));
    });
  }
  cef_string_userfree_t GetString() {
    return NewUserfree(With([](duk_context* ctx, duk_idx_t i) {
      if (!IsPrimitive(ctx, i)) return std::u16string();
      duk_dup(ctx, i);
      duk_to_string(ctx, -1);
      return TextAt(ctx, -1);
    }));
  }
  int IsUserCreated() {
    return With([](duk_context* ctx, duk_idx_t i) {
      return duk_is_object(ctx, i) && duk_has_prop_string(ctx, i, kUserCreated) ? 1 : 0;
    });
  }
  int HasException() { return exception_.has_value(); }
  cef_v8exception_t* GetException() { return exception_ ? NewExceptionRecord(*exception_) : nullptr; }
  int ClearException() {
    exception_.reset();
    return 1;
  }
  int WillRethrow() { return rethrow_; }
  int SetRethrow(int rethrow) {
    rethrow_ = rethrow != 0;
    return 1;
  }

  // Property access on objects, protected against getters, setters and proxies that throw.
  template <class Access>
  int OnObject(Access&& access) {
    return With([&](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_object(ctx, i)) return 0;
      duk_dup(ctx, i);
      int result = 0;
      const bool ok = Protected(ctx, 1, 0, [&](duk_context* c, duk_idx_t object) -> duk_ret_t {
        result = access(c, object);
        return 0;
      });
      return ok ? result : 0;
    });
  }
  int HasByKey(const cef_string_t* key) {
    const std::string name = ToDuk(ViewOf(key));
    return OnObject([&](duk_context* c, duk_idx_t object) {
      duk_push_lstring(c, name.data(), name.size());
      return duk_has_prop(c, object) ? 1 : 0;
    });
  }
  int HasByIndex(int index) {
    if (index < 0) return 0;
    return OnObject([&](duk_context* c, duk_idx_t object) {
      return duk_has_prop_index(c, object, static_cast<duk_uarridx_t>(index)) ? 1 : 0;
    });
  }
  int DeleteByKey(const cef_string_t* key) {
    const std::string name = ToDuk(ViewOf(key));
    return OnObject([&](duk_context* c, duk_idx_t object) {
      duk_push_lstring(c, name.data(), name.size());
      return duk_del_prop(c, object) ? 1 : 0;
    });
  }
  int DeleteByIndex(int index) {
    if (index < 0) return 0;
    return OnObject([&](duk_context* c, duk_idx_t object) {
      return duk_del_prop_index(c, object, static_cast<duk_uarridx_t>(index)) ? 1 : 0;
    });
  }
  cef_v8value_t* GetProperty(const std::string* name, int index) {
    return With([&](duk_context* ctx, duk_idx_t i) -> cef_v8value_t* {
      if (!duk_is_object(ctx, i) || (!name && index < 0)) return nullptr;
      duk_dup(ctx, i);
      const bool ok = Protected(ctx, 1, 1, [&](duk_context* c, duk_idx_t object) -> duk_ret_t {
        if (name)
          duk_get_prop_lstring(c, object, name->data(), name->size());
        else
          duk_get_prop_index(c, object, static_cast<duk_uarridx_t>(index));
        return 1;
      });
      return ok ? NewRecord(ctx, -1) : nullptr;
    });
  }
  cef_v8value_t* GetByKey(const cef_string_t* key) {
    const std::string name = ToDuk(ViewOf(key));
    return GetProperty(&name, 0);
  }
  cef_v8value_t* GetByIndex(int index) { return GetProperty(nullptr, index); }
  int SetByKey(const cef_string_t* key, cef_v8value_t* value, int attribute) {
    auto held = ProgramRef<cef_v8value_t>::Adopt(value);
    const std::string name = ToDuk(ViewOf(key));
    return With([&](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_object(ctx, i)) return 0;
      duk_dup(ctx, i);
      if (!PushValueRecord(ctx, value)) return 0;
      return Protected(ctx, 2, 0,
                       [&](duk_context* c, duk_idx_t object) -> duk_ret_t {
                         duk_push_lstring(c, name.data(), name.size());
                         duk_insert(c, object + 1);  // [object key value]
                         if (attribute == V8_PROPERTY_ATTRIBUTE_NONE) {
                           duk_put_prop(c, object);  // through setters, like a script assignment
                         } else {
                           duk_uint_t flags = DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE |
                                              DUK_DEFPROP_HAVE_ENUMERABLE | DUK_DEFPROP_HAVE_CONFIGURABLE;
                           if (!(attribute & V8_PROPERTY_ATTRIBUTE_READONLY)) flags |= DUK_DEFPROP_WRITABLE;
                           if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTENUM)) flags |= DUK_DEFPROP_ENUMERABLE;
                           if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTDELETE))
                             flags |= DUK_DEFPROP_CONFIGURABLE;
                           duk_def_prop(c, object, flags);
                         }
                         return 0;
                       })
                 ? 1
                 : 0;
    });
  }
  int SetByIndex(int index, cef_v8value_t* value) {
    auto held = ProgramRef<cef_v8value_t>::Adopt(value);
    if (index < 0) return 0;
    return With([&](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_object(ctx, i)) return 0;
      duk_dup(ctx, i);
      if (!PushValueRecord(ctx, value)) return 0;
      return Protected(ctx, 2, 0,
                       [&](duk_context* c, duk_idx_t object) -> duk_ret_t {
                         duk_put_prop_index(c, object, static_cast<duk_uarridx_t>(index));
                         return 0;
                       })
                 ? 1
                 : 0;
    });
  }
  // The property `key` reads and writes through the object's accessor.
  int SetByAccessor(const cef_string_t* key, int /*settings*/, int attribute) {
    const std::u16string name(ViewOf(key));
    const std::string bytes = ToDuk(name);
    return With([&](duk_context* ctx, duk_idx_t i) {
      const Attachment* attachment = heap_->AttachmentOf(ctx, i, false);
      if (!attachment || !attachment->accessor || name.empty()) return 0;
      duk_dup(ctx, i);
      return Protected(ctx, 1, 0,
                       [&](duk_context* c, duk_idx_t object) -> duk_ret_t {
                         duk_push_lstring(c, bytes.data(), bytes.size());
                         duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_ENUMERABLE |
                                            DUK_DEFPROP_HAVE_CONFIGURABLE;
                         duk_push_c_function(c, &AccessorEntry, 0);
                         duk_push_lstring(c, bytes.data(), bytes.size());
                         duk_put_prop_string(c, -2, kAccessorKey);
                         if (!(attribute & V8_PROPERTY_ATTRIBUTE_READONLY)) {
                           flags |= DUK_DEFPROP_HAVE_SETTER;
                           duk_push_c_function(c, &AccessorEntry, 1);
                           duk_set_magic(c, -1, 1);
                           duk_push_lstring(c, bytes.data(), bytes.size());
                           duk_put_prop_string(c, -2, kAccessorKey);
                         }
                         if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTENUM)) flags |= DUK_DEFPROP_ENUMERABLE;
                         if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTDELETE))
                           flags |= DUK_DEFPROP_CONFIGURABLE;
                         duk_def_prop(c, object, flags);
                         return 0;
                       })
                 ? 1
                 : 0;
    });
  }
  int GetKeys(cef_string_list_t keys) {
    return With([&](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_object(ctx, i)) return 0;
      heap_->PushHelper(ctx, Heap::Helper::kKeys);
      duk_dup(ctx, i);
      if (duk_pcall(ctx, 1) != DUK_EXEC_SUCCESS || !duk_is_array(ctx, -1)) return 0;
      const auto count = static_cast<int>(duk_get_length(ctx, -1));
      for (int k = 0; k < count; ++k) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(k));  // a plain array of strings
        const std::u16string name = TextAt(ctx, -1);
        duk_pop(ctx);
        const cef_string_t view = View(name);
        cef_string_list_append(keys, &view);
      }
      return count;
    });
  }
  int SetUserData(cef_base_t* data) {
    auto held = ProgramRef<cef_base_t>::Adopt(data);
    return With([&](duk_context* ctx, duk_idx_t i) {
      Attachment* attachment = heap_->AttachmentOf(ctx, i, true);
      if (!attachment) return 0;
      std::swap(attachment->user_data, held);  // the old data is released on return
      return 1;
    });
  }
  cef_base_t* GetUserData() {
    return With([&](duk_context* ctx, duk_idx_t i) -> cef_base_t* {
      const Attachment* attachment = heap_->AttachmentOf(ctx, i, false);
      return attachment ? attachment->user_data.Share() : nullptr;
    });
  }
  int GetExternalMemory() {
    return With([&](duk_context* ctx, duk_idx_t i) {
      const Attachment* attachment = heap_->AttachmentOf(ctx, i, false);
      return attachment ? attachment->external_memory : 0;
    });
  }
  int AdjustExternalMemory(int change) {
    return With([&](duk_context* ctx, duk_idx_t i) {
      Attachment* attachment = heap_->AttachmentOf(ctx, i, change != 0);
      if (!attachment) return 0;
      attachment->external_memory = std::max(0, attachment->external_memory + change);
      return attachment->external_memory;
    });
  }
  int GetArrayLength() {
    return With([](duk_context* ctx, duk_idx_t i) {
      return duk_is_array(ctx, i) ? static_cast<int>(duk_get_length(ctx, i)) : 0;
    });
  }
  cef_string_userfree_t GetFunctionName() {
    return NewUserfree(With([&](duk_context* ctx, duk_idx_t i) {
      if (!duk_is_function(ctx, i)) return std::u16string();
      if (const Attachment* attachment = heap_->AttachmentOf(ctx, i, false);
          attachment && attachment->handler)
        return attachment->function_name;
      duk_dup(ctx, i);
      if (!Protected(ctx, 1, 1, [](duk_context* c, duk_idx_t function) -> duk_ret_t {
            duk_get_prop_string(c, function, "name");
            return 1;
          }))
        return std::u16string();
      return TextAt(ctx, -1);
    }));
  }
  cef_v8handler_t* GetFunctionHandler() {
    return With([&](duk_context* ctx, duk_idx_t i) -> cef_v8handler_t* {
      const Attachment* attachment = heap_->AttachmentOf(ctx, i, false);
      return attachment ? attachment->handler.Share() : nullptr;
    });
  }
  cef_v8value_t* ExecuteFunction(cef_v8value_t* object, size_t count, cef_v8value_t* const* arguments) {
    return Execute(nullptr, false, object, count, arguments);
  }
  cef_v8value_t* ExecuteFunctionWithContext(cef_v8context_t* context, cef_v8value_t* object, size_t count,
                                            cef_v8value_t* const* arguments);
  // Calls the function; `required`: only in `context`, and not at all when it is gone.
  cef_v8value_t* Execute(std::shared_ptr<ContextState> context, bool required, cef_v8value_t* object,
                         size_t count, cef_v8value_t* const* arguments);

  std::shared_ptr<Heap> heap_;
  uint32_t slot_;
  std::optional<ScriptError> exception_;
  bool rethrow_ = false;
};

cef_v8value_t* ValueObject::Execute(std::shared_ptr<ContextState> context, bool required,
                                    cef_v8value_t* object, size_t count, cef_v8value_t* const* arguments) {
  // The references that came with the receiver and the arguments are ours.
  auto held_object = ProgramRef<cef_v8value_t>::Adopt(object);
  std::vector<ProgramRef<cef_v8value_t>> held;
  for (size_t k = 0; k < count && arguments; ++k)
    held.push_back(ProgramRef<cef_v8value_t>::Adopt(arguments[k]));
  if (required && (!context || !context->valid())) return nullptr;
  if (!context) context = ContextState::Current();

  duk_context* ctx = WorkThread(context ? context->thread() : heap_->main());
  StackScope scope(ctx);
  heap_->Push(ctx, slot_);
  if (!duk_is_function(ctx, -1)) return nullptr;
  if (!PushValueRecord(ctx, object)) {
    // No receiver: the context's global object, as a plain call would use.
    PushGlobal(ctx, context ? context->thread() : ctx);
  }
  for (const auto& argument : held)
    if (!PushValueRecord(ctx, argument.get())) duk_push_undefined(ctx);

  if (context) context->Enter();
  int rc;
  {
    RunningScope running(ctx);
    rc = duk_pcall_method(ctx, static_cast<duk_idx_t>(held.size()));
  }
  if (context) context->Exit();
  if (rc == DUK_EXEC_SUCCESS) {
    exception_.reset();
    return NewRecord(ctx, -1);
  }
  exception_ = DescribeError(ctx, -1);
  if (rethrow_ && RunningThread()) SetPendingRethrow(ctx, -1);
  return nullptr;
}

cef_v8value_t* ValueObject::ExecuteFunctionWithContext(cef_v8context_t* context, cef_v8value_t* object,
                                                       size_t count, cef_v8value_t* const* arguments) {
  auto held = ProgramRef<cef_v8context_t>::Adopt(context);
  return Execute(ContextOfRecord(context), true, object, count, arguments);
}

// Accessor properties: magic 0 reads, 1 writes, through the object's accessor.
Outcome CallAccessor(duk_context* ctx, bool write) {
  if (!StackHasRoom()) return StackExhausted(ctx);
  const std::shared_ptr<Heap> heap = Heap::Get();
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kAccessorKey);
  const std::u16string name = TextAt(ctx, -1);
  duk_pop_2(ctx);
  duk_push_this(ctx);
  const duk_idx_t self = duk_get_top_index(ctx);
  const Attachment* attachment = heap->AttachmentOf(ctx, self, false);
  if (!attachment || !attachment->accessor) {
    duk_push_undefined(ctx);
    return Outcome::kReturn;
  }
  auto accessor = ProgramRef<cef_v8accessor_t>::Retain(attachment->accessor.get());
  const cef_string_t key = View(name);
  cef_string_t exception{};
  cef_v8value_t* result = nullptr;
  {
    RunningScope running(ctx);
    ScriptClockPause pause;
    if (write) {
      if (accessor->set)
        accessor->set(accessor.get(), &key, NewValueRecord(heap, ctx, self), NewValueRecord(heap, ctx, 0),
                      &exception);
    } else if (accessor->get) {
      accessor->get(accessor.get(), &key, NewValueRecord(heap, ctx, self), &result, &exception);
    }
  }
  auto held = ProgramRef<cef_v8value_t>::Adopt(result);
  const std::u16string error(ViewOf(&exception));
  ClearRecord(&exception);
  if (PushPendingRethrow(ctx)) return Outcome::kThrow;
  if (!error.empty()) {
    PushError(ctx, error);
    return Outcome::kThrow;
  }
  if (write || !PushValueRecord(ctx, held.get())) duk_push_undefined(ctx);
  return Outcome::kReturn;
}

duk_ret_t AccessorEntry(duk_context* ctx) {
  if (CallAccessor(ctx, duk_get_current_magic(ctx) == 1) == Outcome::kThrow) return duk_throw(ctx);
  return 1;
}

}  // namespace

// --- Records and calls -----------------------------------------------------------------

cef_v8value_t* NewValueRecord(const std::shared_ptr<Heap>& heap, duk_context* ctx, duk_idx_t index) {
  const uint32_t slot = heap->Pin(ctx, index);
  return slot == Heap::kNoSlot ? nullptr : NewEngineRecord<ValueObject>(heap, slot);
}

bool PushValueRecord(duk_context* ctx, cef_v8value_t* record) {
  const ValueObject* value = OwnObjectOf<ValueObject>(record);
  if (!value) return false;
  value->PushOn(ctx);
  return true;
}

void SetPendingRethrow(duk_context* ctx, duk_idx_t index) {
  const std::shared_ptr<Heap> heap = Heap::Get();
  if (PendingRethrow()) heap->Unpin(*PendingRethrow());
  PendingRethrow() = heap->Pin(ctx, index);  // kNoSlot rethrows undefined
}

bool PushPendingRethrow(duk_context* ctx) {
  const std::optional<uint32_t> slot = std::exchange(PendingRethrow(), std::nullopt);
  if (!slot) return false;
  const std::shared_ptr<Heap> heap = Heap::Get();
  heap->Push(ctx, *slot);
  heap->Unpin(*slot);
  return true;
}

Outcome CallHandler(duk_context* ctx, cef_v8handler_t* handler, std::u16string_view name, duk_idx_t receiver,
                    duk_idx_t first, duk_idx_t count) {
  if (!StackHasRoom()) return StackExhausted(ctx);
  const std::shared_ptr<Heap> heap = Heap::Get();
  std::vector<cef_v8value_t*> arguments;
  for (duk_idx_t k = 0; k < count; ++k) arguments.push_back(NewValueRecord(heap, ctx, first + k));
  cef_v8value_t* object = NewValueRecord(heap, ctx, receiver);
  const cef_string_t name_view = View(name);
  cef_v8value_t* result = nullptr;
  cef_string_t exception{};
  int handled = 0;
  if (handler && handler->execute) {
    RunningScope running(ctx);
    ScriptClockPause pause;
    handled = handler->execute(handler, &name_view, object, arguments.size(), arguments.data(), &result,
                               &exception);
  } else {
    // Nobody to take the references over.
    ProgramRef<cef_v8value_t>::Adopt(object);
    for (auto* argument : arguments) ProgramRef<cef_v8value_t>::Adopt(argument);
  }
  auto held = ProgramRef<cef_v8value_t>::Adopt(result);
  const std::u16string error(ViewOf(&exception));
  ClearRecord(&exception);
  if (PushPendingRethrow(ctx)) return Outcome::kThrow;
  if (!error.empty()) {
    PushError(ctx, error);
    return Outcome::kThrow;
  }
  if (!handled) {
    PushError(ctx, u"Native function " + std::u16string(name) + u"() is not handled");
    return Outcome::kThrow;
  }
  if (!PushValueRecord(ctx, held.get())) duk_push_undefined(ctx);
  return Outcome::kReturn;
}

namespace {
Outcome CallCreatedFunction(duk_context* ctx) {
  const duk_idx_t count = duk_get_top(ctx);
  duk_push_this(ctx);
  if (duk_is_null_or_undefined(ctx, -1)) {
    // A plain call: the receiver is the global object, as for a script function.
    duk_pop(ctx);
    duk_push_global_object(ctx);
  }
  duk_push_current_function(ctx);
  const std::shared_ptr<Heap> heap = Heap::Get();
  const Attachment* attachment = heap->AttachmentOf(ctx, -1, false);
  auto handler = ProgramRef<cef_v8handler_t>::Retain(attachment ? attachment->handler.get() : nullptr);
  const std::u16string name = attachment ? attachment->function_name : std::u16string();
  duk_pop(ctx);
  return CallHandler(ctx, handler.get(), name, count, 0, count);
}
}  // namespace

duk_ret_t CreatedFunctionEntry(duk_context* ctx) {
  if (CallCreatedFunction(ctx) == Outcome::kThrow) return duk_throw(ctx);
  return 1;
}

}  // namespace cef_engine::script

// --- Value creation exports --------------------------------------------------------------

namespace cef_engine::script {
namespace {

// Pushes a new value with `push`, marks objects the program made, and returns its record.
// Protected, since a value may not fit into the heap: the program then gets null, and
// script that called into the program (a native function making its result) gets the
// error when the program returns to it. `push` must not keep C++ objects with
// destructors alive across its Duktape calls.
template <class Push>
cef_v8value_t* Create(Push&& push) {
  const std::shared_ptr<Heap> heap = Heap::Get();
  const std::shared_ptr<ContextState> current = ContextState::Current();
  duk_context* ctx = WorkThread(current ? current->thread() : heap->main());
  const duk_idx_t top = duk_get_top(ctx);
  bool made = false;
  const bool ok = Protected(ctx, 0, 1, [&](duk_context* c, duk_idx_t) -> duk_ret_t {
    if (!push(c, *heap)) return 0;
    if (duk_is_object(c, -1)) {
      duk_push_true(c);
      duk_put_prop_string(c, -2, kUserCreated);
    }
    made = true;
    return 1;
  });
  cef_v8value_t* record = nullptr;
  if (ok && made) {
    record = NewValueRecord(heap, ctx, -1);
  } else if (!ok && RunningThread()) {
    SetPendingRethrow(ctx, -1);
  }
  duk_set_top(ctx, top);
  return record;
}

}  // namespace
}  // namespace cef_engine::script

using cef_engine::ProgramRef;
using cef_engine::ViewOf;
using cef_engine::script::Create;
using cef_engine::script::Heap;

extern "C" {

cef_v8value_t* cef_v8value_create_undefined() {
  return Create([](duk_context* ctx, Heap&) { return duk_push_undefined(ctx), true; });
}

cef_v8value_t* cef_v8value_create_null() {
  return Create([](duk_context* ctx, Heap&) { return duk_push_null(ctx), true; });
}

cef_v8value_t* cef_v8value_create_bool(int value) {
  return Create([&](duk_context* ctx, Heap&) { return duk_push_boolean(ctx, value != 0), true; });
}

cef_v8value_t* cef_v8value_create_int(int value) {
  return Create([&](duk_context* ctx, Heap&) { return duk_push_int(ctx, value), true; });
}

cef_v8value_t* cef_v8value_create_uint(uint32_t value) {
  return Create([&](duk_context* ctx, Heap&) { return duk_push_uint(ctx, value), true; });
}

cef_v8value_t* cef_v8value_create_double(double value) {
  return Create([&](duk_context* ctx, Heap&) { return duk_push_number(ctx, value), true; });
}

cef_v8value_t* cef_v8value_create_date(const cef_time_t* date) {
  if (!date) return nullptr;
  const double ms = cef_engine::script::MsFromTime(*date);
  return Create([&](duk_context* ctx, Heap& heap) {
    heap.PushHelper(ctx, Heap::Helper::kNewDate);
    duk_push_number(ctx, ms);
    return duk_pcall(ctx, 1) == DUK_EXEC_SUCCESS;
  });
}

cef_v8value_t* cef_v8value_create_string(const cef_string_t* value) {
  const std::string bytes = cef_engine::script::ToDuk(ViewOf(value));
  return Create(
      [&](duk_context* ctx, Heap&) { return duk_push_lstring(ctx, bytes.data(), bytes.size()), true; });
}

cef_v8value_t* cef_v8value_create_object(cef_v8accessor_t* accessor) {
  auto held = ProgramRef<cef_v8accessor_t>::Adopt(accessor);
  return Create([&](duk_context* ctx, Heap& heap) {
    duk_push_object(ctx);
    if (!held) return true;
    cef_engine::script::Attachment* attachment = heap.AttachmentOf(ctx, -1, true);
    if (!attachment) return false;
    attachment->accessor = std::move(held);
    return true;
  });
}

cef_v8value_t* cef_v8value_create_array(int length) {
  return Create([&](duk_context* ctx, Heap&) {
    duk_push_array(ctx);
    if (length > 0) {
      duk_push_int(ctx, length);
      duk_put_prop_string(ctx, -2, "length");  // a fresh array takes any length
    }
    return true;
  });
}

cef_v8value_t* cef_v8value_create_function(const cef_string_t* name, cef_v8handler_t* handler) {
  auto held = ProgramRef<cef_v8handler_t>::Adopt(handler);
  if (!held) return nullptr;
  const std::u16string function_name(ViewOf(name));
  const std::string name_bytes = cef_engine::script::ToDuk(function_name);
  return Create([&](duk_context* ctx, Heap& heap) {
    duk_push_c_function(ctx, &cef_engine::script::CreatedFunctionEntry, DUK_VARARGS);
    cef_engine::script::Attachment* attachment = heap.AttachmentOf(ctx, -1, true);
    if (!attachment) return false;
    attachment->handler = std::move(held);
    attachment->function_name = function_name;
    duk_push_string(ctx, "name");
    duk_push_lstring(ctx, name_bytes.data(), name_bytes.size());
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);  // own property of a fresh function
    return true;
  });
}

}  // extern "C"
