#include "launcher/test_extension.h"

namespace tessaril {

using ceflib::RefPtr;
using ceflib::TCefv8ValueRef;

const ustring kTestExtensionCode =
    u"var cef;if (!cef)  cef = {};if (!cef.test)  cef.test = {};(function() {  "
    u"cef.test.__defineGetter__('test_param', function() {    native function GetTestParam();    "
    u"return GetTestParam();  });  cef.test.__defineSetter__('test_param', function(b) {    "
    u"native function SetTestParam();    if(b) SetTestParam(b);  });  cef.test.test_object = "
    u"function() {    native function GetTestObject();    return GetTestObject();  };})();";

bool TExtension::Execute(const ustring& name, const RefPtr<ceflib::ICefV8Value>&,
                         const ceflib::TCefv8ValueArray& arguments, RefPtr<ceflib::ICefV8Value>& retval,
                         ustring&) {
  if (name == u"SetTestParam") {
    if (arguments.size() != 1 || !arguments[0] || !arguments[0]->IsString()) return false;
    FTestParam = arguments[0]->GetStringValue();
    return true;
  }
  if (name == u"GetTestParam") {
    retval = TCefv8ValueRef::CreateString(FTestParam);
    return true;
  }
  if (name == u"GetTestObject") {
    retval = TCefv8ValueRef::CreateObject(nullptr);
    retval->SetValueByKey(
        u"param", TCefv8ValueRef::CreateString(u"Retrieving a parameter on a native object succeeded."),
        V8_PROPERTY_ATTRIBUTE_NONE);
    retval->SetValueByKey(u"GetMessage",
                          TCefv8ValueRef::CreateFunction(u"GetMessage", RefPtr<ceflib::ICefv8Handler>(this)),
                          V8_PROPERTY_ATTRIBUTE_NONE);
    return true;
  }
  if (name == u"GetMessage") {
    retval = TCefv8ValueRef::CreateString(u"Calling a function on a native object succeeded.");
    return true;
  }
  return false;
}

}  // namespace tessaril
