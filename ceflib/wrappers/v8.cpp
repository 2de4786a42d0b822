#include "ceflib/wrappers/v8.h"

#include <cmath>
#include <cstdlib>

#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/time_zone.h"
#include "ceflib/wrappers/v8_handler.h"

#pragma push_macro("GetMessage")
#undef GetMessage

namespace ceflib {
namespace {

// Engine value pointers for a call, one reference each for the engine; an empty list
// gives no array at all.
class EngineValueArray {
 public:
  explicit EngineValueArray(const TCefv8ValueArray& values) {
    items_.reserve(values.size());
    for (const auto& value : values) items_.push_back(reinterpret_cast<cef_v8value_t*>(CefDataOf(value)));
  }
  size_t size() const noexcept { return items_.size(); }
  cef_v8value_t* const* data() const noexcept { return items_.empty() ? nullptr : items_.data(); }

 private:
  std::vector<cef_v8value_t*> items_;
};

// ---- dates ----

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a day number of TDateTime
constexpr double kFirstDay = -693593;     // 0001-01-01
// A program date goes to the engine up to the year the time record's 16-bit fields
// hold; one comes back as far as the program's dates reach.
constexpr int kLastYearOut = 65535;
constexpr int kLastYearIn = 9999;
const char kDateError[] = "Invalid argument to date encode";
const char kTimeError[] = "Invalid argument to time encode";

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool IsLeapYear(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

constexpr double kPastLastDay = static_cast<double>(DaysFromCivil(kLastYearOut + 1, 1, 1) + kUnixEpochDay);

bool IsValidDate(int y, int m, int d, int firstYear = 1, int lastYear = kLastYearIn) {
  return y >= firstYear && y <= lastYear && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool IsValidTime(int h, int n, int s, int ms) {
  return h >= 0 && h < 24 && n >= 0 && n < 60 && s >= 0 && s < 60 && ms >= 0 && ms < 1000;
}

}  // namespace

cef_time_t DateTimeToCefTime(TDateTime value) {
  if (!(value > kFirstDay - 1 && value < kPastLastDay)) throw EConvertError(kDateError);
  // Whole milliseconds; the date is the integral part, the time of day the fraction's
  // magnitude (so -1.25 is 1899-12-29 06:00).
  const auto total = static_cast<int64_t>(std::llround(value * kMsPerDay));
  const int64_t days = total / kMsPerDay;
  const int64_t ms = std::llabs(total) % kMsPerDay;
  TCefCivilTime civil{};
  CivilFromDays(days - kUnixEpochDay, civil.year, civil.month, civil.day);
  if (!IsValidDate(civil.year, civil.month, civil.day, 1, kLastYearOut)) throw EConvertError(kDateError);
  civil.hour = static_cast<int>(ms / 3600000);
  civil.minute = static_cast<int>(ms / 60000 % 60);
  civil.second = static_cast<int>(ms / 1000 % 60);
  if (!CefLocalToUtc(civil)) throw EConvertError(kDateError);
  const int64_t unixDay = DaysFromCivil(civil.year, civil.month, civil.day);
  const int dayOfWeek = static_cast<int>(((unixDay + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  return {civil.year, civil.month,  dayOfWeek,    civil.day,
          civil.hour, civil.minute, civil.second, static_cast<int>(ms % 1000)};
}

TDateTime CefTimeToDateTime(const cef_time_t& t) {
  // In UTC the day may lie a year beyond the local one, either way.
  if (!IsValidDate(t.year, t.month, t.day_of_month, 0, kLastYearIn + 1)) throw EConvertError(kDateError);
  if (!IsValidTime(t.hour, t.minute, t.second, t.millisecond)) throw EConvertError(kTimeError);
  TCefCivilTime civil{t.year, t.month, t.day_of_month, t.hour, t.minute, t.second};
  if (!CefUtcToLocal(civil) || !IsValidDate(civil.year, civil.month, civil.day))
    throw EConvertError(kDateError);
  const double date = static_cast<double>(DaysFromCivil(civil.year, civil.month, civil.day) + kUnixEpochDay);
  const double time =
      static_cast<double>(((civil.hour * 60 + civil.minute) * 60 + civil.second) * 1000 + t.millisecond) /
      kMsPerDay;
  return date >= 0 ? date + time : date - time;
}

// ---- values ---------------------------------------------------------------------------

bool TCefv8ValueRef::IsValid() { return Call<bool>(&cef_v8value_t::is_valid); }
bool TCefv8ValueRef::IsUndefined() { return Call<bool>(&cef_v8value_t::is_undefined); }
bool TCefv8ValueRef::IsNull() { return Call<bool>(&cef_v8value_t::is_null); }
bool TCefv8ValueRef::IsBool() { return Call<bool>(&cef_v8value_t::is_bool); }
bool TCefv8ValueRef::IsInt() { return Call<bool>(&cef_v8value_t::is_int); }
bool TCefv8ValueRef::IsUInt() { return Call<bool>(&cef_v8value_t::is_uint); }
bool TCefv8ValueRef::IsDouble() { return Call<bool>(&cef_v8value_t::is_double); }
bool TCefv8ValueRef::IsDate() { return Call<bool>(&cef_v8value_t::is_date); }
bool TCefv8ValueRef::IsString() { return Call<bool>(&cef_v8value_t::is_string); }
bool TCefv8ValueRef::IsObject() { return Call<bool>(&cef_v8value_t::is_object); }
bool TCefv8ValueRef::IsArray() { return Call<bool>(&cef_v8value_t::is_array); }
bool TCefv8ValueRef::IsFunction() { return Call<bool>(&cef_v8value_t::is_function); }
bool TCefv8ValueRef::IsSame(const RefPtr<ICefV8Value>& that) {
  return Call<bool>(&cef_v8value_t::is_same, that);
}
bool TCefv8ValueRef::GetBoolValue() { return Call<bool>(&cef_v8value_t::get_bool_value); }
int TCefv8ValueRef::GetIntValue() { return Call<int>(&cef_v8value_t::get_int_value); }
uint32_t TCefv8ValueRef::GetUIntValue() { return Call<uint32_t>(&cef_v8value_t::get_uint_value); }
double TCefv8ValueRef::GetDoubleValue() { return Call<double>(&cef_v8value_t::get_double_value); }
TDateTime TCefv8ValueRef::GetDateValue() {
  auto get = record()->get_date_value;
  return get ? CefTimeToDateTime(get(record())) : TDateTime();
}
ustring TCefv8ValueRef::GetStringValue() { return Call<ustring>(&cef_v8value_t::get_string_value); }
bool TCefv8ValueRef::IsUserCreated() { return Call<bool>(&cef_v8value_t::is_user_created); }
bool TCefv8ValueRef::HasException() { return Call<bool>(&cef_v8value_t::has_exception); }
RefPtr<ICefV8Exception> TCefv8ValueRef::GetException() {
  return Call<RefPtr<ICefV8Exception>>(&cef_v8value_t::get_exception);
}
bool TCefv8ValueRef::ClearException() { return Call<bool>(&cef_v8value_t::clear_exception); }
bool TCefv8ValueRef::WillRethrowExceptions() { return Call<bool>(&cef_v8value_t::will_rethrow_exceptions); }
bool TCefv8ValueRef::SetRethrowExceptions(bool rethrow) {
  return Call<bool>(&cef_v8value_t::set_rethrow_exceptions, rethrow);
}
bool TCefv8ValueRef::HasValueByKey(const ustring& key) {
  return Call<bool>(&cef_v8value_t::has_value_bykey, key);
}
bool TCefv8ValueRef::HasValueByIndex(int index) {
  return Call<bool>(&cef_v8value_t::has_value_byindex, index);
}
bool TCefv8ValueRef::DeleteValueByKey(const ustring& key) {
  return Call<bool>(&cef_v8value_t::delete_value_bykey, key);
}
bool TCefv8ValueRef::DeleteValueByIndex(int index) {
  return Call<bool>(&cef_v8value_t::delete_value_byindex, index);
}
RefPtr<ICefV8Value> TCefv8ValueRef::GetValueByKey(const ustring& key) {
  return Call<RefPtr<ICefV8Value>>(&cef_v8value_t::get_value_bykey, key);
}
RefPtr<ICefV8Value> TCefv8ValueRef::GetValueByIndex(int index) {
  return Call<RefPtr<ICefV8Value>>(&cef_v8value_t::get_value_byindex, index);
}
bool TCefv8ValueRef::SetValueByKey(const ustring& key, const RefPtr<ICefV8Value>& value, int attribute) {
  return Call<bool>(&cef_v8value_t::set_value_bykey, key, value, attribute);
}
bool TCefv8ValueRef::SetValueByIndex(int index, const RefPtr<ICefV8Value>& value) {
  return Call<bool>(&cef_v8value_t::set_value_byindex, index, value);
}
bool TCefv8ValueRef::SetValueByAccessor(const ustring& key, int settings, int attribute) {
  return Call<bool>(&cef_v8value_t::set_value_byaccessor, key, settings, attribute);
}
int TCefv8ValueRef::GetKeys(std::vector<ustring>& keys) {
  CefOwnedStringList list;
  const int result = Call<int>(&cef_v8value_t::get_keys, list.Handle());
  list.ReadInto(keys);
  return result;
}
bool TCefv8ValueRef::SetUserData(const RefPtr<ICefBase>& data) {
  return Call<bool>(&cef_v8value_t::set_user_data, data);
}
RefPtr<ICefV8Value> TCefv8ValueRef::GetUserData() {
  return Call<RefPtr<ICefV8Value>>(&cef_v8value_t::get_user_data);
}
int TCefv8ValueRef::GetExternallyAllocatedMemory() {
  return Call<int>(&cef_v8value_t::get_externally_allocated_memory);
}
int TCefv8ValueRef::AdjustExternallyAllocatedMemory(int changeInBytes) {
  return Call<int>(&cef_v8value_t::adjust_externally_allocated_memory, changeInBytes);
}
int TCefv8ValueRef::GetArrayLength() { return Call<int>(&cef_v8value_t::get_array_length); }
ustring TCefv8ValueRef::GetFunctionName() { return Call<ustring>(&cef_v8value_t::get_function_name); }
RefPtr<ICefv8Handler> TCefv8ValueRef::GetFunctionHandler() {
  return Call<RefPtr<ICefv8Handler>>(&cef_v8value_t::get_function_handler);
}
RefPtr<ICefV8Value> TCefv8ValueRef::ExecuteFunction(const RefPtr<ICefV8Value>& obj,
                                                    const TCefv8ValueArray& arguments) {
  if (!record()->execute_function) return nullptr;
  EngineValueArray args(arguments);
  return Call<RefPtr<ICefV8Value>>(&cef_v8value_t::execute_function, obj, args.size(), args.data());
}
RefPtr<ICefV8Value> TCefv8ValueRef::ExecuteFunctionWithContext(const RefPtr<ICefv8Context>& context,
                                                               const RefPtr<ICefV8Value>& obj,
                                                               const TCefv8ValueArray& arguments) {
  if (!record()->execute_function_with_context) return nullptr;
  EngineValueArray args(arguments);
  return Call<RefPtr<ICefV8Value>>(&cef_v8value_t::execute_function_with_context, context, obj, args.size(),
                                   args.data());
}

RefPtr<ICefV8Value> TCefv8ValueRef::CreateUndefined() {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_undefined);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateNull() {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_null);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateBool(bool value) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_bool, value);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateInt(int value) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_int, value);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateUInt(uint32_t value) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_uint, value);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateDouble(double value) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_double, value);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateDate(TDateTime value) {
  const cef_time_t time = DateTimeToCefTime(value);
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_date, &time);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateString(const ustring& str) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_string, str);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateObject(const RefPtr<ICefV8Accessor>& accessor) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_object, accessor);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateObjectProc(const TCefFastV8AccessorGetterProc& getter,
                                                     const TCefFastV8AccessorSetterProc& setter) {
  return CreateObject(Make<TCefFastV8Accessor>(getter, setter));
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateArray(int length) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_array, length);
}
RefPtr<ICefV8Value> TCefv8ValueRef::CreateFunction(const ustring& name,
                                                   const RefPtr<ICefv8Handler>& handler) {
  return CefCallExport<RefPtr<ICefV8Value>>(cef_v8value_create_function, name, handler);
}

// ---- contexts -------------------------------------------------------------------------

bool TCefv8ContextRef::IsValid() { return Call<bool>(&cef_v8context_t::is_valid); }
RefPtr<ICefBrowser> TCefv8ContextRef::GetBrowser() {
  return Call<RefPtr<ICefBrowser>>(&cef_v8context_t::get_browser);
}
RefPtr<ICefFrame> TCefv8ContextRef::GetFrame() {
  return Call<RefPtr<ICefFrame>>(&cef_v8context_t::get_frame);
}
RefPtr<ICefV8Value> TCefv8ContextRef::GetGlobal() {
  return Call<RefPtr<ICefV8Value>>(&cef_v8context_t::get_global);
}
bool TCefv8ContextRef::Enter() { return Call<bool>(&cef_v8context_t::enter); }
bool TCefv8ContextRef::Exit() { return Call<bool>(&cef_v8context_t::exit); }
bool TCefv8ContextRef::IsSame(const RefPtr<ICefv8Context>& that) {
  return Call<bool>(&cef_v8context_t::is_same, that);
}
bool TCefv8ContextRef::Eval(const ustring& code, RefPtr<ICefV8Value>& retval,
                            RefPtr<ICefV8Exception>& exception) {
  retval = nullptr;
  exception = nullptr;
  cef_v8value_t* value = nullptr;
  cef_v8exception_t* error = nullptr;
  const bool ok = Call<bool>(&cef_v8context_t::eval, code, &value, &error);
  retval = TCefv8ValueRef::UnWrap(value);
  exception = TCefV8ExceptionRef::UnWrap(error);
  return ok;
}

RefPtr<ICefv8Context> TCefv8ContextRef::Current() {
  return CefCallExport<RefPtr<ICefv8Context>>(cef_v8context_get_current_context);
}
RefPtr<ICefv8Context> TCefv8ContextRef::Entered() {
  return CefCallExport<RefPtr<ICefv8Context>>(cef_v8context_get_entered_context);
}
bool TCefv8ContextRef::InContext() { return CefCallExport<bool>(cef_v8context_in_context); }

// ---- exceptions -----------------------------------------------------------------------

ustring TCefV8ExceptionRef::GetMessage() { return Call<ustring>(&cef_v8exception_t::get_message); }
ustring TCefV8ExceptionRef::GetSourceLine() { return Call<ustring>(&cef_v8exception_t::get_source_line); }
ustring TCefV8ExceptionRef::GetScriptResourceName() {
  return Call<ustring>(&cef_v8exception_t::get_script_resource_name);
}
int TCefV8ExceptionRef::GetLineNumber() { return Call<int>(&cef_v8exception_t::get_line_number); }
int TCefV8ExceptionRef::GetStartPosition() { return Call<int>(&cef_v8exception_t::get_start_position); }
int TCefV8ExceptionRef::GetEndPosition() { return Call<int>(&cef_v8exception_t::get_end_position); }
int TCefV8ExceptionRef::GetStartColumn() { return Call<int>(&cef_v8exception_t::get_start_column); }
int TCefV8ExceptionRef::GetEndColumn() { return Call<int>(&cef_v8exception_t::get_end_column); }

}  // namespace ceflib

#pragma pop_macro("GetMessage")
