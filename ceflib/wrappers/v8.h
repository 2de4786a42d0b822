// Script values, contexts and exceptions of the engine, and the date conversions they
// need. The native function and accessor interfaces are in bridges/v8_handlers.h.
#pragma once

#include <functional>
#include <stdexcept>
#include <vector>

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"

// windows.h maps GetMessage to GetMessageW; the exception's operation keeps its name.
#pragma push_macro("GetMessage")
#undef GetMessage

namespace ceflib {

class ICefV8Value;
class ICefv8Context;
class ICefV8Exception;
class ICefv8Handler;
class ICefV8Accessor;

// Argument list of a function call, in call order.
using TCefv8ValueArray = std::vector<RefPtr<ICefV8Value>>;

// Days since 1899-12-30 in local time; the fraction is the time of day. Before that day
// the integral part is the date and the fraction's magnitude the time of day (-1.25 is
// 1899-12-29 06:00).
using TDateTime = double;

// A date or time that does not form a valid value.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Local time to the engine's UTC time record, and back: dates from 0001-01-01 go to the
// engine up to 65535-12-31 and come back up to 9999-12-31; others raise EConvertError.
cef_time_t DateTimeToCefTime(TDateTime value);
TDateTime CefTimeToDateTime(const cef_time_t& t);

using TCefFastV8AccessorGetterProc =
    std::function<bool(const ustring& name, const RefPtr<ICefV8Value>& obj, RefPtr<ICefV8Value>& value,
                       const ustring& exception)>;
using TCefFastV8AccessorSetterProc =
    std::function<bool(const ustring& name, const RefPtr<ICefV8Value>& obj, const RefPtr<ICefV8Value>& value,
                       const ustring& exception)>;

class ICefV8Value : public virtual ICefBase {
 public:
  virtual bool IsValid() = 0;
  virtual bool IsUndefined() = 0;
  virtual bool IsNull() = 0;
  virtual bool IsBool() = 0;
  virtual bool IsInt() = 0;
  virtual bool IsUInt() = 0;
  virtual bool IsDouble() = 0;
  virtual bool IsDate() = 0;
  virtual bool IsString() = 0;
  virtual bool IsObject() = 0;
  virtual bool IsArray() = 0;
  virtual bool IsFunction() = 0;
  virtual bool IsSame(const RefPtr<ICefV8Value>& that) = 0;
  virtual bool GetBoolValue() = 0;
  virtual int GetIntValue() = 0;
  virtual uint32_t GetUIntValue() = 0;
  virtual double GetDoubleValue() = 0;
  virtual TDateTime GetDateValue() = 0;
  virtual ustring GetStringValue() = 0;
  virtual bool IsUserCreated() = 0;
  virtual bool HasException() = 0;
  virtual RefPtr<ICefV8Exception> GetException() = 0;
  virtual bool ClearException() = 0;
  virtual bool WillRethrowExceptions() = 0;
  virtual bool SetRethrowExceptions(bool rethrow) = 0;
  virtual bool HasValueByKey(const ustring& key) = 0;
  virtual bool HasValueByIndex(int index) = 0;
  virtual bool DeleteValueByKey(const ustring& key) = 0;
  virtual bool DeleteValueByIndex(int index) = 0;
  virtual RefPtr<ICefV8Value> GetValueByKey(const ustring& key) = 0;
  virtual RefPtr<ICefV8Value> GetValueByIndex(int index) = 0;
  virtual bool SetValueByKey(const ustring& key, const RefPtr<ICefV8Value>& value, int attribute) = 0;
  virtual bool SetValueByIndex(int index, const RefPtr<ICefV8Value>& value) = 0;
  virtual bool SetValueByAccessor(const ustring& key, int settings, int attribute) = 0;
  // Appends the keys to `keys`; answers the engine's result unchanged.
  virtual int GetKeys(std::vector<ustring>& keys) = 0;
  virtual bool SetUserData(const RefPtr<ICefBase>& data) = 0;
  virtual RefPtr<ICefV8Value> GetUserData() = 0;
  virtual int GetExternallyAllocatedMemory() = 0;
  virtual int AdjustExternallyAllocatedMemory(int changeInBytes) = 0;
  virtual int GetArrayLength() = 0;
  virtual ustring GetFunctionName() = 0;
  virtual RefPtr<ICefv8Handler> GetFunctionHandler() = 0;
  virtual RefPtr<ICefV8Value> ExecuteFunction(const RefPtr<ICefV8Value>& obj,
                                              const TCefv8ValueArray& arguments) = 0;
  virtual RefPtr<ICefV8Value> ExecuteFunctionWithContext(const RefPtr<ICefv8Context>& context,
                                                         const RefPtr<ICefV8Value>& obj,
                                                         const TCefv8ValueArray& arguments) = 0;
};

class ICefv8Context : public virtual ICefBase {
 public:
  virtual bool IsValid() = 0;
  virtual RefPtr<ICefBrowser> GetBrowser() = 0;
  virtual RefPtr<ICefFrame> GetFrame() = 0;
  virtual RefPtr<ICefV8Value> GetGlobal() = 0;
  virtual bool Enter() = 0;
  virtual bool Exit() = 0;
  virtual bool IsSame(const RefPtr<ICefv8Context>& that) = 0;
  // Sets both outs whatever the answer (null when the engine gave none).
  virtual bool Eval(const ustring& code, RefPtr<ICefV8Value>& retval, RefPtr<ICefV8Exception>& exception) = 0;
};

class ICefV8Exception : public virtual ICefBase {
 public:
  virtual ustring GetMessage() = 0;
  virtual ustring GetSourceLine() = 0;
  virtual ustring GetScriptResourceName() = 0;
  virtual int GetLineNumber() = 0;
  virtual int GetStartPosition() = 0;
  virtual int GetEndPosition() = 0;
  virtual int GetStartColumn() = 0;
  virtual int GetEndColumn() = 0;
};

class TCefv8ValueRef final : public TCefRef<TCefv8ValueRef, ICefV8Value, cef_v8value_t> {
 public:
  using TCefRef::TCefRef;

  bool IsValid() override;
  bool IsUndefined() override;
  bool IsNull() override;
  bool IsBool() override;
  bool IsInt() override;
  bool IsUInt() override;
  bool IsDouble() override;
  bool IsDate() override;
  bool IsString() override;
  bool IsObject() override;
  bool IsArray() override;
  bool IsFunction() override;
  bool IsSame(const RefPtr<ICefV8Value>& that) override;
  bool GetBoolValue() override;
  int GetIntValue() override;
  uint32_t GetUIntValue() override;
  double GetDoubleValue() override;
  TDateTime GetDateValue() override;
  ustring GetStringValue() override;
  bool IsUserCreated() override;
  bool HasException() override;
  RefPtr<ICefV8Exception> GetException() override;
  bool ClearException() override;
  bool WillRethrowExceptions() override;
  bool SetRethrowExceptions(bool rethrow) override;
  bool HasValueByKey(const ustring& key) override;
  bool HasValueByIndex(int index) override;
  bool DeleteValueByKey(const ustring& key) override;
  bool DeleteValueByIndex(int index) override;
  RefPtr<ICefV8Value> GetValueByKey(const ustring& key) override;
  RefPtr<ICefV8Value> GetValueByIndex(int index) override;
  bool SetValueByKey(const ustring& key, const RefPtr<ICefV8Value>& value, int attribute) override;
  bool SetValueByIndex(int index, const RefPtr<ICefV8Value>& value) override;
  bool SetValueByAccessor(const ustring& key, int settings, int attribute) override;
  int GetKeys(std::vector<ustring>& keys) override;
  bool SetUserData(const RefPtr<ICefBase>& data) override;
  RefPtr<ICefV8Value> GetUserData() override;
  int GetExternallyAllocatedMemory() override;
  int AdjustExternallyAllocatedMemory(int changeInBytes) override;
  int GetArrayLength() override;
  ustring GetFunctionName() override;
  RefPtr<ICefv8Handler> GetFunctionHandler() override;
  RefPtr<ICefV8Value> ExecuteFunction(const RefPtr<ICefV8Value>& obj,
                                      const TCefv8ValueArray& arguments) override;
  RefPtr<ICefV8Value> ExecuteFunctionWithContext(const RefPtr<ICefv8Context>& context,
                                                 const RefPtr<ICefV8Value>& obj,
                                                 const TCefv8ValueArray& arguments) override;

  // New script values, made by the engine.
  static RefPtr<ICefV8Value> CreateUndefined();
  static RefPtr<ICefV8Value> CreateNull();
  static RefPtr<ICefV8Value> CreateBool(bool value);
  static RefPtr<ICefV8Value> CreateInt(int value);
  static RefPtr<ICefV8Value> CreateUInt(uint32_t value);
  static RefPtr<ICefV8Value> CreateDouble(double value);
  static RefPtr<ICefV8Value> CreateDate(TDateTime value);
  static RefPtr<ICefV8Value> CreateString(const ustring& str);
  // A null accessor makes a plain object.
  static RefPtr<ICefV8Value> CreateObject(const RefPtr<ICefV8Accessor>& accessor);
  static RefPtr<ICefV8Value> CreateObjectProc(const TCefFastV8AccessorGetterProc& getter,
                                              const TCefFastV8AccessorSetterProc& setter);
  static RefPtr<ICefV8Value> CreateArray(int length);
  static RefPtr<ICefV8Value> CreateFunction(const ustring& name, const RefPtr<ICefv8Handler>& handler);
};

class TCefv8ContextRef final : public TCefRef<TCefv8ContextRef, ICefv8Context, cef_v8context_t> {
 public:
  using TCefRef::TCefRef;

  bool IsValid() override;
  RefPtr<ICefBrowser> GetBrowser() override;
  RefPtr<ICefFrame> GetFrame() override;
  RefPtr<ICefV8Value> GetGlobal() override;
  bool Enter() override;
  bool Exit() override;
  bool IsSame(const RefPtr<ICefv8Context>& that) override;
  bool Eval(const ustring& code, RefPtr<ICefV8Value>& retval, RefPtr<ICefV8Exception>& exception) override;

  // The engine's current and entered contexts; null when there is none.
  static RefPtr<ICefv8Context> Current();
  static RefPtr<ICefv8Context> Entered();
  // True while script runs or a context is entered.
  static bool InContext();
};

class TCefV8ExceptionRef final : public TCefRef<TCefV8ExceptionRef, ICefV8Exception, cef_v8exception_t> {
 public:
  using TCefRef::TCefRef;

  ustring GetMessage() override;
  ustring GetSourceLine() override;
  ustring GetScriptResourceName() override;
  int GetLineNumber() override;
  int GetStartPosition() override;
  int GetEndPosition() override;
  int GetStartColumn() override;
  int GetEndColumn() override;
};

template <>
struct TCefWrapperOf<ICefV8Value> {
  using type = TCefv8ValueRef;
};
template <>
struct TCefWrapperOf<ICefv8Context> {
  using type = TCefv8ContextRef;
};
template <>
struct TCefWrapperOf<ICefV8Exception> {
  using type = TCefV8ExceptionRef;
};

}  // namespace ceflib

#pragma pop_macro("GetMessage")
