// The native half of the "v8/test" script extension.
#pragma once

#include "ceflib/bridges/v8_handlers.h"

namespace tessaril {

using ceflib::ustring;

// The extension's script: cef.test.test_param (getter and setter) and
// cef.test.test_object(), all calling back into TExtension.
extern const ustring kTestExtensionCode;

class TExtension : public ceflib::TCefv8HandlerOwn {
 public:
  bool Execute(const ustring& name, const ceflib::RefPtr<ceflib::ICefV8Value>& obj,
               const ceflib::TCefv8ValueArray& arguments, ceflib::RefPtr<ceflib::ICefV8Value>& retval,
               ustring& exception) override;

 private:
  ustring FTestParam;  // the value most recently stored by SetTestParam
};

}  // namespace tessaril
