// Page scripts on Duktape: document.write, the page objects, registered extensions and
// their native functions, and the script value, context and exception records.
#include <chrono>
#include <cmath>
#include <thread>

#include "page_test_support.h"
#include "script/heap.h"

namespace {

using namespace page_test;

// The launcher's test page: thirteen texts joined without separators.
std::u16string TestPage() {
  const std::u16string_view texts[] = {
      u"<html>",
      u"  <body>ClientV8ExtensionHandler says:<br><pre>",
      u"<script language=\"javascript\">",
      u"  cef.test.test_param ='Assign and retrieve a value succeeded the first time.';",
      u"  document.writeln(cef.test.test_param);",
      u"  cef.test.test_param = 'Assign and retrieve a value succeeded the second time.';",
      u"  document.writeln(cef.test.test_param);",
      u"  var obj = cef.test.test_object();",
      u"  document.writeln(obj.param);",
      u"  document.writeln(obj.GetMessage());",
      u"</script>",
      u"</pre></body>",
      u"</html>",
  };
  std::u16string page;
  for (auto text : texts) page += text;
  return page;
}

constexpr std::u16string_view kTestExtension =
    u"var cef;if (!cef)  cef = {};if (!cef.test)  cef.test = {};(function() {  "
    u"cef.test.__defineGetter__('test_param', function() {    native function GetTestParam();    return "
    u"GetTestParam();  });  cef.test.__defineSetter__('test_param', function(b) {    native function "
    u"SetTestParam();    if(b) SetTestParam(b);  });  cef.test.test_object = function() {    native function "
    u"GetTestObject();    return GetTestObject();  };})();";

// Runs `code` in the page's context and gives the result as text.
std::u16string Eval(cef_engine::script::Page& page, std::u16string_view code) {
  auto context = Adopt(page.ShareV8Context());
  const cef_string_t view = View(code);
  cef_v8value_t* retval = nullptr;
  cef_v8exception_t* exception = nullptr;
  const int ok = context->eval(context.get(), &view, &retval, &exception);
  auto held_value = Ref<cef_v8value_t>(retval);
  auto held_exception = Ref<cef_v8exception_t>(exception);
  if (!ok) return u"exception: " + Take(exception->get_message(exception));
  return StringOf(retval);
}

class ScriptTest : public PageTest {
 protected:
  bool Register(std::u16string_view name, std::u16string_view code, Handler& handler) {
    const cef_string_t name_view = View(name), code_view = View(code);
    return cef_register_extension(&name_view, &code_view, handler.HandOver()) == 1;
  }
};

// The handler of the launcher's extension, written for this test.
class TestExtension {
 public:
  TestExtension()
      : handler_([this](const std::u16string& name, cef_v8value_t*, const std::vector<cef_v8value_t*>& args,
                        cef_v8value_t** retval, cef_string_t*) {
          if (name == u"SetTestParam") {
            if (args.size() != 1 || !args[0]->is_string(args[0])) return 0;
            param_ = StringOf(args[0]);
            return 1;
          }
          if (name == u"GetTestParam") {
            ReturnString(retval, param_);
            return 1;
          }
          if (name == u"GetTestObject") {
            cef_v8value_t* object = cef_v8value_create_object(nullptr);
            const cef_string_t param = View(u"param"), message = View(u"GetMessage");
            cef_v8value_t* text = nullptr;
            ReturnString(&text, u"Retrieving a parameter on a native object succeeded.");
            object->set_value_bykey(object, &param, text, V8_PROPERTY_ATTRIBUTE_NONE);
            object->set_value_bykey(object, &message,
                                    cef_v8value_create_function(&message, handler_.HandOver()),
                                    V8_PROPERTY_ATTRIBUTE_NONE);
            *retval = object;
            return 1;
          }
          if (name == u"GetMessage") {
            ReturnString(retval, u"Calling a function on a native object succeeded.");
            return 1;
          }
          return 0;
        }) {}
  Handler& handler() { return handler_; }

 private:
  std::u16string param_;
  Handler handler_;
};

TEST_F(ScriptTest, LauncherTestPageShowsItsFourLines) {
  TestExtension extension;
  ASSERT_TRUE(Register(u"v8/test", kTestExtension, extension.handler()));
  const std::u16string page_text = TestPage();
  ASSERT_EQ(page_text.size(), 454u);
  {
    auto page = Load(page_text, u"client://test/");
    EXPECT_EQ(page->Text(),
              u"ClientV8ExtensionHandler says:\n"
              u"Assign and retrieve a value succeeded the first time.\n"
              u"Assign and retrieve a value succeeded the second time.\n"
              u"Retrieving a parameter on a native object succeeded.\n"
              u"Calling a function on a native object succeeded.");
    EXPECT_TRUE(frame.console.empty())
        << std::string(frame.console.front().message.begin(), frame.console.front().message.end());
    // Falsy values are not passed on; a number is refused by the handler.
    EXPECT_EQ(Eval(*page, u"cef.test.test_param = ''; cef.test.test_param"),
              u"Assign and retrieve a value succeeded the second time.");
    EXPECT_EQ(Eval(*page, u"try { cef.test.test_param = 5; 'no error' } catch (e) { e.message }"),
              u"Native function SetTestParam() is not handled");
    // The extension runs in every page, and the stored value is shared.
    auto second = Load(u"<script>document.write(cef.test.test_param)</script>");
    EXPECT_EQ(second->Text(), u"Assign and retrieve a value succeeded the second time.");
  }
  cef_shutdown();
  EXPECT_TRUE(extension.handler().balanced()) << extension.handler().refs();
}

TEST_F(ScriptTest, NativeFunctionAnswersBecomeResultsOrErrors) {
  Handler handler([](const std::u16string& name, cef_v8value_t* object,
                     const std::vector<cef_v8value_t*>& args, cef_v8value_t** retval,
                     cef_string_t* exception) {
    if (name == u"Throw") {
      const std::u16string text = u"custom failure";
      cef_string_utf16_set(text.data(), text.size(), exception, 1);
      return 1;
    }
    if (name == u"Nothing") return 1;
    if (name == u"Echo") {
      // Strings, numbers and objects arrive as values; the receiver too.
      std::u16string out = std::u16string(1, static_cast<char16_t>(u'0' + args.size())) + u":";
      for (auto* arg : args) {
        if (arg->is_string(arg))
          out += StringOf(arg) + u",";
        else if (arg->is_int(arg))
          out += std::u16string(1, static_cast<char16_t>(u'0' + arg->get_int_value(arg))) + u",";
        else if (arg->is_object(arg)) {
          const cef_string_t key = View(u"k");
          auto inner = Adopt(arg->get_value_bykey(arg, &key));
          out += u"{" + StringOf(inner.get()) + u"},";
        }
      }
      out += object && object->is_object(object) ? u"this" : u"no this";
      ReturnString(retval, out);
      return 1;
    }
    return 0;  // "Fail" and everything else
  });
  ASSERT_TRUE(Register(u"answers",
                       u"native function Fail(); native function Throw(); native function Nothing();\n"
                       u"var holder = { echo: function(a, b, c) { native function Echo(a, b, c); "
                       u"return Echo(a, b, c); } };\n"
                       u"// native function Commented(); and 'native function Quoted();' stay as they are\n",
                       handler));
  {
    auto page = Load(u"<p>x</p>");
    EXPECT_EQ(Eval(*page, u"try { Fail(); 'returned' } catch (e) { e.message }"),
              u"Native function Fail() is not handled");
    EXPECT_EQ(Eval(*page, u"try { Throw(); 'returned' } catch (e) { e.message }"), u"custom failure");
    EXPECT_EQ(Eval(*page, u"String(Nothing())"), u"undefined");
    EXPECT_EQ(Eval(*page, u"holder.echo('s', 5, {k: 'v'})"), u"3:s,5,{v},this");
    EXPECT_EQ(Eval(*page, u"typeof Commented + typeof Quoted"), u"undefinedundefined");
    EXPECT_EQ(handler.calls, 4);
    // A second extension with the same name is refused (and its reference let go).
    Handler other([](auto&&...) { return 0; });
    EXPECT_FALSE(Register(u"answers", u"", other));
    EXPECT_TRUE(other.balanced());
  }
  cef_shutdown();
  EXPECT_TRUE(handler.balanced());
}

TEST_F(ScriptTest, PageScriptWritesTitlesOpensAndLogs) {
  const std::u16string html =
      u"<html><head><title>Start</title></head><body>\n"
      u"<p>before \u00E9</p>\n"
      u"<script>\n"
      u"document.writeln('<b id=\"w\">written \u00E9</b>');\n"
      u"document.write('<script>document.write(\"nested\")<\\/script>');\n"
      u"</script>\n"
      u"<p>after</p>\n"
      u"<script>\n"
      u"document.title = 'Changed';\n"
      u"window.open('popup.html');\n"
      u"console.log('hello', 42);\n"
      u"undefinedFunction();\n"
      u"</script>\n"
      u"</body></html>";
  auto page = Load(html);
  EXPECT_EQ(page->Text(), u"before \u00E9\nwritten \u00E9 nested\nafter");
  EXPECT_EQ(page->Source()->ToString(), html) << "the source is the page as it arrived";
  EXPECT_EQ(page->Title(), u"Changed");
  EXPECT_EQ(frame.titles, std::vector<std::u16string>{u"Changed"});
  EXPECT_EQ(frame.opened, std::vector<std::u16string>{u"http://test.example/dir/popup.html"});
  ASSERT_EQ(frame.console.size(), 2u);
  EXPECT_EQ(frame.console[0].message, u"hello 42");
  EXPECT_EQ(frame.console[0].line, 11);
  EXPECT_EQ(frame.console[1].message.substr(0, 23), u"Uncaught ReferenceError");
  EXPECT_EQ(frame.console[1].source, u"http://test.example/dir/page.html");
  EXPECT_EQ(frame.console[1].line, 12);

  // Later scripts and writes after the parse.
  page->ExecuteJavaScript(u"document.write('<p>appended</p>'); document.title", u"", 1);
  EXPECT_EQ(page->Text(), u"before \u00E9\nwritten \u00E9 nested\nafter\nappended");
  page->ExecuteJavaScript(u"\n\nthrow new Error('late')", u"http://x.example/s.js", 5);
  ASSERT_EQ(frame.console.size(), 3u);
  EXPECT_EQ(frame.console[2].message, u"Uncaught Error: late");
  EXPECT_EQ(frame.console[2].source, u"http://x.example/s.js");
  EXPECT_EQ(frame.console[2].line, 7);
  // A script written after the parse stands on the page's last line (14), however
  // many writes came before it.
  page->ExecuteJavaScript(u"document.write('<script>console.log(\"w\")<\\/script>')", u"", 1);
  ASSERT_EQ(frame.console.size(), 4u);
  EXPECT_EQ(frame.console[3].message, u"w");
  EXPECT_EQ(frame.console[3].line, 14);
}

constexpr std::u16string_view kQueryPage =
    u"<html><head><title>Q</title></head><body>"
    u"<div id=main class='box wide'>"
    u"<p id=p1 class=intro>One <a id=a1 href=/one class=nav>1</a></p>"
    u"<p id=p2 lang=en-GB><span id=s1><a id=a2 href='http://x.example/two.html' data-kind='ext "
    u"link'>2</a></span></p>"
    u"<form id=f1><input id=i1 name=user><input id=i2 type=password></form>"
    u"<img id=img1 src=a.png><img id=img2 src=b.png>"
    u"</div>"
    u"<ul id=list><li id=l1 class=item>x</li><li id=l2 class='item last'>y</li></ul>"
    u"<a id=a3 href='#top' target=_blank>3</a>"
    u"</body></html>";

// The ids of what querySelectorAll finds, or the error's name and text.
std::u16string SelectIds(cef_engine::script::Page& page, std::u16string_view scope,
                         std::u16string_view selector) {
  std::u16string quoted;
  for (const char16_t c : selector) quoted += c == u'"' ? std::u16string(u"\\\"") : std::u16string(1, c);
  return Eval(page, u"(function(s) { try { return Array.prototype.map.call(" + std::u16string(scope) +
                        u".querySelectorAll(s), function(e) { return e.id; }).join(','); }"
                        u" catch (e) { return e.name + ': ' + e.message; } })(\"" +
                        quoted + u"\")");
}

TEST_F(ScriptTest, SelectorsFindWhatBrowsersFind) {
  struct Row {
    std::u16string_view selector, ids;
  };
  const Row rows[] = {
      {u"p", u"p1,p2"},
      {u"INPUT[type=password]", u"i2"},
      {u"#a2", u"a2"},
      {u".item", u"l1,l2"},
      {u".item.last", u"l2"},
      {u"div.box.wide", u"main"},
      {u"[href]", u"a1,a2,a3"},
      {u"a[href^='http']", u"a2"},
      {u"a[href$=\".html\"]", u"a2"},
      {u"[href*=one]", u"a1"},
      {u"[data-kind~=link]", u"a2"},
      {u"[data-kind~='ext link']", u""},
      {u"[lang|=en]", u"p2"},
      {u"[lang=en]", u""},
      {u"div a", u"a1,a2"},
      {u"div > a", u""},
      {u"#main > p > a", u"a1"},
      {u"body > p", u""},
      {u"div p a", u"a1,a2"},
      {u"p > span a", u"a2"},
      {u"#main > *", u"p1,p2,f1,img1,img2"},
      {u"ul li , #a3", u"l1,l2,a3"},
      {u"#a3, ul li", u"l1,l2,a3"},
      {u"form#f1   input", u"i1,i2"},
      {u"a:hover",
       u"SyntaxError: 'a:hover': this engine does not support pseudo-classes and pseudo-elements"},
      {u"p + p", u"SyntaxError: 'p + p': this engine does not support sibling combinators"},
      {u"p >", u"SyntaxError: 'p >' is not a valid selector"},
      {u"[href", u"SyntaxError: '[href' is not a valid selector"},
      {u"a,", u"SyntaxError: 'a,' is not a valid selector"},
      {u"", u"SyntaxError: '' is not a valid selector"},
      {u"1p", u"SyntaxError: '1p' is not a valid selector"},
  };
  auto page = Load(kQueryPage);
  for (const auto& row : rows)
    EXPECT_EQ(SelectIds(*page, u"document", row.selector), row.ids)
        << std::string(row.selector.begin(), row.selector.end());
  std::u16string chain;  // matching recurses once per compound: long chains are refused
  for (int i = 0; i < 33; ++i) chain += u"div ";
  EXPECT_EQ(SelectIds(*page, u"document", chain),
            u"SyntaxError: '" + chain +
                u"': this engine does not support more than 32 compound selectors in a row");
  // Below an element: only its descendants, but matched against the whole document.
  EXPECT_EQ(SelectIds(*page, u"document.getElementById('p2')", u"div a"), u"a2");
  EXPECT_EQ(SelectIds(*page, u"document.getElementById('p2')", u"p"), u"");
}

TEST_F(ScriptTest, PageScriptQueriesCollectionsChangesTheTreeAndHandlesEvents) {
  auto page = Load(kQueryPage);
  auto eval = [&](std::u16string_view code) { return Eval(*page, code); };
  EXPECT_EQ(eval(u"document.links.length + ' ' + document.querySelectorAll('a').length"), u"3 3");
  EXPECT_EQ(eval(u"document.forms.length + ' ' + document.forms[0].id + ' ' + document.images[1].id"),
            u"1 f1 img2");
  EXPECT_EQ(
      eval(u"document.getElementsByTagName('LI').length + ' ' + document.getElementsByTagName('*').length"),
      u"2 19");
  EXPECT_EQ(eval(u"document.getElementsByClassName(' last  item ')[0].id"), u"l2");
  EXPECT_EQ(eval(u"document.querySelector('p').id + (document.querySelector('table') === null)"), u"p1true");
  EXPECT_EQ(eval(u"var list = document.getElementById('list'); list.children.length + list.children[1].id"),
            u"2l2");
  EXPECT_EQ(eval(u"document.documentElement.tagName + document.head.children[0].tagName"), u"HTMLTITLE");

  // Text and markup, read and written; scripts in new markup do not run.
  EXPECT_EQ(eval(u"document.getElementById('p1').textContent"), u"One 1");
  EXPECT_EQ(
      eval(u"document.getElementById('p2').innerHTML"),
      u"<span id=\"s1\"><a id=\"a2\" href=\"http://x.example/two.html\" data-kind=\"ext link\">2</a></span>");
  EXPECT_EQ(eval(u"var l1 = document.getElementById('l1'); l1.textContent = '<b>'; l1.innerHTML"),
            u"&lt;b&gt;");
  EXPECT_EQ(
      eval(u"list.innerHTML = '<li id=n1>new<li>two<script>document.title = \"no\"</script>';"
           u" list.children.length + ' ' + document.getElementById('n1').textContent + ' ' + document.title"),
      u"2 new Q");
  EXPECT_EQ(eval(u"l1.id + (document.getElementById('l1') === null)"), u"l1true")
      << "a removed element lives on";
  EXPECT_EQ(page->Text(), u"One 1\n2\nnew\ntwo\n3");

  // Listeners: options, stopPropagation, preventDefault (no new window), removal.
  EXPECT_EQ(
      eval(u"var log = []; var a3 = document.getElementById('a3');"
           u"function note(e) { log.push(e.currentTarget.tagName || 'doc'); }"
           u"document.addEventListener('click', note, {capture: true});"
           u"document.body.addEventListener('click', note); document.body.addEventListener('click', note);"
           u"a3.addEventListener('click', function(e) { e.stopPropagation(); e.preventDefault(); });"
           u"a3.click(); log.join(',')"),
      u"doc");
  EXPECT_TRUE(frame.opened.empty()) << "the default action was prevented";
  EXPECT_EQ(eval(u"log = []; document.getElementById('a1').click(); document.removeEventListener('click', "
                 u"note, true);"
                 u"document.getElementById('a1').click(); log.join(',')"),
            u"doc,BODY,BODY");
}

// Expected answers of the twelve type tests, in record order.
struct Kinds {
  bool undefined, null, boolean, integer, uinteger, number, date, string, object, array, function;
};

void ExpectKinds(cef_v8value_t* v, const Kinds& k, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->is_valid(v), 1);
  EXPECT_EQ(v->is_undefined(v), k.undefined);
  EXPECT_EQ(v->is_null(v), k.null);
  EXPECT_EQ(v->is_bool(v), k.boolean);
  EXPECT_EQ(v->is_int(v), k.integer);
  EXPECT_EQ(v->is_uint(v), k.uinteger);
  EXPECT_EQ(v->is_double(v), k.number);
  EXPECT_EQ(v->is_date(v), k.date);
  EXPECT_EQ(v->is_string(v), k.string);
  EXPECT_EQ(v->is_object(v), k.object);
  EXPECT_EQ(v->is_array(v), k.array);
  EXPECT_EQ(v->is_function(v), k.function);
}

TEST_F(ScriptTest, ValuesOfEveryKindRoundTrip) {
  Handler handler([](auto&&...) { return 1; });
  const cef_time_t leap{2020, 2, 0, 29, 23, 59, 58, 7};
  const std::u16string text = u"a\U0001F600\xD800z";
  const cef_string_t text_view = View(text), fn_name = View(u"fn");
  auto undefined = Adopt(cef_v8value_create_undefined());
  auto null = Adopt(cef_v8value_create_null());
  auto yes = Adopt(cef_v8value_create_bool(7));
  auto negative = Adopt(cef_v8value_create_int(-5));
  auto big = Adopt(cef_v8value_create_uint(3000000000u));
  auto real = Adopt(cef_v8value_create_double(1.5));
  auto date = Adopt(cef_v8value_create_date(&leap));
  auto string = Adopt(cef_v8value_create_string(&text_view));
  auto object = Adopt(cef_v8value_create_object(nullptr));
  auto array = Adopt(cef_v8value_create_array(3));
  auto function = Adopt(cef_v8value_create_function(&fn_name, handler.HandOver()));

  ExpectKinds(undefined.get(), {true, false, false, false, false, false, false, false, false, false, false},
              "undefined");
  ExpectKinds(null.get(), {false, true, false, false, false, false, false, false, false, false, false},
              "null");
  ExpectKinds(yes.get(), {false, false, true, false, false, false, false, false, false, false, false},
              "bool");
  ExpectKinds(negative.get(), {false, false, false, true, false, true, false, false, false, false, false},
              "int");
  ExpectKinds(big.get(), {false, false, false, false, true, true, false, false, false, false, false}, "uint");
  ExpectKinds(real.get(), {false, false, false, false, false, true, false, false, false, false, false},
              "double");
  ExpectKinds(date.get(), {false, false, false, false, false, false, true, false, true, false, false},
              "date");
  ExpectKinds(string.get(), {false, false, false, false, false, false, false, true, false, false, false},
              "string");
  ExpectKinds(object.get(), {false, false, false, false, false, false, false, false, true, false, false},
              "object");
  ExpectKinds(array.get(), {false, false, false, false, false, false, false, false, true, true, false},
              "array");
  ExpectKinds(function.get(), {false, false, false, false, false, false, false, false, true, false, true},
              "function");

  EXPECT_EQ(yes->get_bool_value(yes.get()), 1);
  EXPECT_EQ(negative->get_int_value(negative.get()), -5);
  EXPECT_EQ(big->get_uint_value(big.get()), 3000000000u);
  EXPECT_EQ(real->get_double_value(real.get()), 1.5);
  EXPECT_EQ(Take(string->get_string_value(string.get())), text) << "surrogates survive the script engine";
  EXPECT_EQ(Take(negative->get_string_value(negative.get())), u"-5");
  EXPECT_EQ(array->get_array_length(array.get()), 3);
  EXPECT_EQ(object->is_user_created(object.get()), 1);
  EXPECT_EQ(Take(function->get_function_name(function.get())), u"fn");
  EXPECT_EQ(function->get_function_handler(function.get()), handler.record());
  handler.record()->base.release(&handler.record()->base);  // the reference get_function_handler gave

  // Dates are UTC, with the day of the week filled in.
  const cef_time_t back = date->get_date_value(date.get());
  EXPECT_EQ((std::array{back.year, back.month, back.day_of_week, back.day_of_month, back.hour, back.minute,
                        back.second, back.millisecond}),
            (std::array{2020, 2, 6, 29, 23, 59, 58, 7}));
  const cef_time_t before_epoch{1969, 12, 0, 31, 23, 59, 59, 999};
  auto old = Adopt(cef_v8value_create_date(&before_epoch));
  const cef_time_t old_back = old->get_date_value(old.get());
  EXPECT_EQ((std::array{old_back.year, old_back.month, old_back.day_of_week, old_back.day_of_month,
                        old_back.millisecond}),
            (std::array{1969, 12, 3, 31, 999}));

  // Identity: the same object through two records; equal primitives are the same.
  EXPECT_EQ(object->is_same(object.get(), AddRef(object.get())), 1);
  EXPECT_EQ(object->is_same(object.get(), AddRef(array.get())), 0);
  auto other_yes = Adopt(cef_v8value_create_bool(1));
  EXPECT_EQ(yes->is_same(yes.get(), AddRef(other_yes.get())), 1);
  EXPECT_EQ(yes->is_same(yes.get(), nullptr), 0);

  // Script-made values: a date from Date.UTC, a plain object.
  auto page = Load(u"<p>x</p>");
  auto context = Adopt(page->ShareV8Context());
  const cef_string_t code = View(u"new Date(Date.UTC(2001, 8, 9, 1, 46, 40))");
  cef_v8value_t* result = nullptr;
  cef_v8exception_t* exception = nullptr;
  ASSERT_EQ(context->eval(context.get(), &code, &result, &exception), 1);
  auto script_date = Adopt(result);
  EXPECT_EQ(exception, nullptr);
  const cef_time_t t = script_date->get_date_value(script_date.get());
  EXPECT_EQ((std::array{t.year, t.month, t.day_of_week, t.day_of_month, t.hour, t.minute, t.second}),
            (std::array{2001, 9, 0, 9, 1, 46, 40}));
  EXPECT_EQ(script_date->is_user_created(script_date.get()), 0);
  function.reset();
  page.reset();
  context.reset();
}

TEST_F(ScriptTest, ObjectsArraysAttributesAndUserData) {
  auto page = Load(u"<p>x</p>");
  auto context = Adopt(page->ShareV8Context());
  auto global = Adopt(context->get_global(context.get()));
  auto object = Adopt(cef_v8value_create_object(nullptr));
  const cef_string_t a = View(u"a"), ro = View(u"ro"), hidden = View(u"hidden"), fixed = View(u"fixed"),
                     name = View(u"obj"), missing = View(u"missing");
  EXPECT_EQ(object->set_value_bykey(object.get(), &a, cef_v8value_create_int(1), V8_PROPERTY_ATTRIBUTE_NONE),
            1);
  EXPECT_EQ(
      object->set_value_bykey(object.get(), &ro, cef_v8value_create_int(2), V8_PROPERTY_ATTRIBUTE_READONLY),
      1);
  EXPECT_EQ(object->set_value_bykey(object.get(), &hidden, cef_v8value_create_int(3),
                                    V8_PROPERTY_ATTRIBUTE_DONTENUM),
            1);
  EXPECT_EQ(object->set_value_bykey(object.get(), &fixed, cef_v8value_create_int(4),
                                    V8_PROPERTY_ATTRIBUTE_DONTDELETE),
            1);
  EXPECT_EQ(global->set_value_bykey(global.get(), &name, AddRef(object.get()), V8_PROPERTY_ATTRIBUTE_NONE),
            1);

  EXPECT_EQ(object->has_value_bykey(object.get(), &a), 1);
  EXPECT_EQ(object->has_value_bykey(object.get(), &missing), 0);
  auto got = Adopt(object->get_value_bykey(object.get(), &a));
  EXPECT_EQ(got->get_int_value(got.get()), 1);
  auto none = Adopt(object->get_value_bykey(object.get(), &missing));
  EXPECT_EQ(none->is_undefined(none.get()), 1);
  EXPECT_EQ(Eval(*page, u"obj.ro = 9; obj.a = 5; obj.ro + ',' + obj.a"), u"2,5") << "read-only stays";
  auto keys = cef_string_list_alloc();
  EXPECT_EQ(object->get_keys(object.get(), keys), 3);
  std::vector<std::u16string> names;
  for (int i = 0; i < cef_string_list_size(keys); ++i) {
    engine_test::Filled<cef_string_t> item;
    cef_string_list_value(keys, i, item.out());
    names.push_back(item.text());
  }
  cef_string_list_free(keys);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"ro", u"fixed"})) << "don't-enum keys are not listed";
  EXPECT_EQ(object->delete_value_bykey(object.get(), &fixed), 0);
  EXPECT_EQ(object->delete_value_bykey(object.get(), &a), 1);
  EXPECT_EQ(object->has_value_bykey(object.get(), &a), 0);

  // Arrays by index.
  auto array = Adopt(cef_v8value_create_array(2));
  EXPECT_EQ(array->set_value_byindex(array.get(), 4, cef_v8value_create_int(40)), 1);
  EXPECT_EQ(array->get_array_length(array.get()), 5);
  EXPECT_EQ(array->has_value_byindex(array.get(), 1), 0);
  EXPECT_EQ(array->has_value_byindex(array.get(), 4), 1);
  auto item = Adopt(array->get_value_byindex(array.get(), 4));
  EXPECT_EQ(item->get_int_value(item.get()), 40);
  EXPECT_EQ(array->delete_value_byindex(array.get(), 4), 1);
  EXPECT_EQ(array->get_value_byindex(array.get(), -1), nullptr);

  // What only objects have: primitives answer 0 and let go of what they were given.
  struct UserData {
    cef_base_t base;
  };
  FakeRecord<UserData> data, replacement, refused;
  auto base_of = [](UserData* record) { return &record->base; };
  auto number = Adopt(cef_v8value_create_int(1));
  EXPECT_EQ(number->set_value_bykey(number.get(), &a, cef_v8value_create_int(1), 0), 0);
  EXPECT_EQ(number->get_value_bykey(number.get(), &a), nullptr);
  EXPECT_EQ(number->set_user_data(number.get(), base_of(refused.HandOver())), 0);
  EXPECT_EQ(refused.refs(), 0);
  EXPECT_EQ(object->set_user_data(object.get(), base_of(data.HandOver())), 1);
  cef_base_t* back = object->get_user_data(object.get());
  EXPECT_EQ(back, base_of(data.record()));
  back->release(back);
  EXPECT_EQ(object->set_user_data(object.get(), base_of(replacement.HandOver())), 1);
  EXPECT_EQ(data.refs(), 0) << "replaced user data is released";
  EXPECT_EQ(object->adjust_externally_allocated_memory(object.get(), 100), 100);
  EXPECT_EQ(object->adjust_externally_allocated_memory(object.get(), -30), 70);
  EXPECT_EQ(object->get_externally_allocated_memory(object.get()), 70);

  object.reset();
  global.reset();
  got.reset();
  context.reset();
  page.reset();
  EXPECT_EQ(replacement.refs(), 0) << "user data goes with its object";
}

TEST_F(ScriptTest, FunctionsCallBackBothWays) {
  // A native function that hands script a function of the program, which script calls.
  Handler callback([](const std::u16string& name, cef_v8value_t* object,
                      const std::vector<cef_v8value_t*>& args, cef_v8value_t** retval, cef_string_t*) {
    std::u16string out = name + u"(";
    for (auto* arg : args) out += arg->is_string(arg) ? StringOf(arg) : arg->is_object(arg) ? u"obj" : u"num";
    out += object->is_object(object) ? u")@this" : u")";
    ReturnString(retval, out);
    return 1;
  });
  Handler maker([&](const std::u16string&, cef_v8value_t*, const std::vector<cef_v8value_t*>& args,
                    cef_v8value_t** retval, cef_string_t*) {
    if (args.empty()) {
      const cef_string_t name = View(u"callback");
      *retval = cef_v8value_create_function(&name, callback.HandOver());
      return 1;
    }
    // Calls the script function it was given; with rethrow set, a throw goes back to script.
    cef_v8value_t* fn = args[0];
    fn->set_rethrow_exceptions(fn, args.size() > 1);
    auto result = Adopt(fn->execute_function(fn, nullptr, 0, nullptr));
    if (!result) {
      EXPECT_EQ(fn->has_exception(fn), 1);
      auto exception = Adopt(fn->get_exception(fn));
      ReturnString(retval, u"caught " + Take(exception->get_message(exception.get())));
      fn->clear_exception(fn);
      EXPECT_EQ(fn->has_exception(fn), 0);
    }
    return 1;
  });
  ASSERT_TRUE(Register(u"maker", u"native function Make(); native function Call();", maker));
  {
    auto page = Load(u"<p>x</p>");
    EXPECT_EQ(Eval(*page, u"var f = Make(); f('s', 2, {}) + ' ' + f.name"),
              u"callback(snumobj)@this callback");
    EXPECT_EQ(Eval(*page, u"Call(function() { throw new Error('inner'); })"), u"caught Error: inner");
    EXPECT_EQ(Eval(*page,
                   u"try { Call(function() { throw new Error('again'); }, true); 'no' } "
                   u"catch (e) { 'rethrown ' + e.message }"),
              u"rethrown again");

    // The program calls script functions with a receiver and arguments.
    auto context = Adopt(page->ShareV8Context());
    const cef_string_t fn_code = View(u"(function(a, b) { return this.base + a * b; })");
    const cef_string_t obj_code = View(u"({base: 10})");
    cef_v8value_t *fn = nullptr, *obj = nullptr;
    cef_v8exception_t* exception = nullptr;
    ASSERT_EQ(context->eval(context.get(), &fn_code, &fn, &exception), 1);
    ASSERT_EQ(context->eval(context.get(), &obj_code, &obj, &exception), 1);
    auto held_fn = Adopt(fn), held_obj = Adopt(obj);
    cef_v8value_t* args[] = {cef_v8value_create_int(3), cef_v8value_create_int(4)};
    auto result = Adopt(fn->execute_function(fn, AddRef(obj), 2, args));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->get_int_value(result.get()), 22);
    cef_v8value_t* args2[] = {cef_v8value_create_int(1), cef_v8value_create_int(1)};
    auto with_context =
        Adopt(fn->execute_function_with_context(fn, AddRef(context.get()), AddRef(obj), 2, args2));
    ASSERT_NE(with_context, nullptr);
    EXPECT_EQ(with_context->get_int_value(with_context.get()), 11);
    // Calling what is no function gives nothing.
    EXPECT_EQ(obj->execute_function(obj, nullptr, 0, nullptr), nullptr);
  }
  cef_shutdown();
  EXPECT_TRUE(maker.balanced());
  EXPECT_TRUE(callback.balanced()) << callback.refs();
}

// Accessors: reads and writes of chosen properties go to the program.
class RecordingAccessor {
 public:
  RecordingAccessor() {
    object_.record()->get = &Get;
    object_.record()->set = &Set;
  }
  cef_v8accessor_t* HandOver() { return object_.HandOver(); }
  bool balanced() const { return object_.refs() == 0 && !object_.went_negative(); }
  std::vector<std::u16string> log;
  std::u16string stored = u"initial";

 private:
  static RecordingAccessor& Of(cef_v8accessor_t* self) {
    return *FakeRecord<cef_v8accessor_t>::OwnerOf<RecordingAccessor>(self);
  }
  static int CEF_CALLBACK Get(cef_v8accessor_t* self, const cef_string_t* name, cef_v8value_t* object,
                              cef_v8value_t** retval, cef_string_t*) {
    Ref<cef_v8value_t> held(object);
    const std::u16string key = engine_test::Text(*name);
    Of(self).log.push_back(u"get " + key);
    ReturnString(retval, key == u"prop" ? Of(self).stored : u"fixed");
    return 1;
  }
  static int CEF_CALLBACK Set(cef_v8accessor_t* self, const cef_string_t* name, cef_v8value_t* object,
                              cef_v8value_t* value, cef_string_t*) {
    Ref<cef_v8value_t> held(object), held_value(value);
    Of(self).log.push_back(u"set " + engine_test::Text(*name));
    Of(self).stored = StringOf(value);
    return 1;
  }
  FakeRecord<cef_v8accessor_t> object_{this};
};

TEST_F(ScriptTest, AccessorsReadAndWriteThroughTheProgram) {
  RecordingAccessor accessor;
  {
    auto page = Load(u"<p>x</p>");
    auto context = Adopt(page->ShareV8Context());
    auto global = Adopt(context->get_global(context.get()));
    auto object = Adopt(cef_v8value_create_object(accessor.HandOver()));
    const cef_string_t prop = View(u"prop"), ro = View(u"ro"), name = View(u"acc");
    EXPECT_EQ(object->set_value_byaccessor(object.get(), &prop, V8_ACCESS_CONTROL_DEFAULT, 0), 1);
    EXPECT_EQ(object->set_value_byaccessor(object.get(), &ro, V8_ACCESS_CONTROL_DEFAULT,
                                           V8_PROPERTY_ATTRIBUTE_READONLY),
              1);
    EXPECT_EQ(global->set_value_bykey(global.get(), &name, AddRef(object.get()), 0), 1);
    EXPECT_EQ(Eval(*page, u"acc.prop = 'changed'; acc.ro = 'ignored'; acc.prop + '/' + acc.ro"),
              u"changed/fixed");
    EXPECT_EQ(accessor.log, (std::vector<std::u16string>{u"set prop", u"get prop", u"get ro"}));
    // Only objects made with an accessor take accessor properties.
    auto plain = Adopt(cef_v8value_create_object(nullptr));
    EXPECT_EQ(plain->set_value_byaccessor(plain.get(), &prop, 0, 0), 0);
  }
  EXPECT_TRUE(accessor.balanced());
}

TEST_F(ScriptTest, ContextsEvalEnterAndOutliveTheirPage) {
  cef_v8context_t* seen_current = nullptr;
  Handler spy([&](const std::u16string&, cef_v8value_t*, const std::vector<cef_v8value_t*>&, cef_v8value_t**,
                  cef_string_t*) {
    seen_current = cef_v8context_get_current_context();
    return 1;
  });
  ASSERT_TRUE(Register(u"spy", u"native function Spy();", spy));
  {
    auto page = Load(u"<p>x</p>");
    auto context = Adopt(page->ShareV8Context());
    EXPECT_EQ(context->is_valid(context.get()), 1);
    EXPECT_EQ(context->get_browser(context.get()), nullptr);
    EXPECT_EQ(Eval(*page, u"String(1 + 2)"), u"3");

    // Errors: where and what.
    const cef_string_t runtime_error = View(u"var x = 1;\n  null.boom;\n");
    cef_v8value_t* retval = nullptr;
    cef_v8exception_t* exception = nullptr;
    EXPECT_EQ(context->eval(context.get(), &runtime_error, &retval, &exception), 0);
    EXPECT_EQ(retval, nullptr);
    ASSERT_NE(exception, nullptr);
    auto error = Adopt(exception);
    EXPECT_EQ(Take(error->get_message(error.get())).substr(0, 9), u"TypeError");
    EXPECT_EQ(error->get_line_number(error.get()), 2);
    EXPECT_EQ(Take(error->get_source_line(error.get())), u"  null.boom;");
    EXPECT_EQ(Take(error->get_script_resource_name(error.get())), u"eval");
    EXPECT_EQ(error->get_start_position(error.get()), 11);
    EXPECT_EQ(error->get_end_position(error.get()), 23);
    EXPECT_EQ(error->get_end_column(error.get()) - error->get_start_column(error.get()), 12);
    const cef_string_t syntax_error = View(u"1 +");
    exception = nullptr;
    EXPECT_EQ(context->eval(context.get(), &syntax_error, nullptr, &exception), 0);
    auto syntax = Adopt(exception);
    EXPECT_EQ(Take(syntax->get_message(syntax.get())).substr(0, 11), u"SyntaxError");

    // Entering makes a context current; script running makes its own current.
    EXPECT_EQ(cef_v8context_in_context(), 0);
    EXPECT_EQ(cef_v8context_get_current_context(), nullptr);
    EXPECT_EQ(context->enter(context.get()), 1);
    EXPECT_EQ(cef_v8context_in_context(), 1);
    auto current = Adopt(cef_v8context_get_current_context());
    EXPECT_EQ(current->is_same(current.get(), AddRef(context.get())), 1);
    auto entered = Adopt(cef_v8context_get_entered_context());
    EXPECT_EQ(entered->is_same(entered.get(), AddRef(context.get())), 1);
    EXPECT_EQ(context->exit(context.get()), 1);
    EXPECT_EQ(context->exit(context.get()), 0) << "nothing left to exit";
    auto other_page = Load(u"<p>y</p>");
    auto other = Adopt(other_page->ShareV8Context());
    EXPECT_EQ(context->is_same(context.get(), AddRef(other.get())), 0);
    Eval(*other_page, u"Spy()");
    ASSERT_NE(seen_current, nullptr);
    auto held_seen = Adopt(seen_current);
    EXPECT_EQ(held_seen->is_same(held_seen.get(), AddRef(other.get())), 1);

    auto global = Adopt(context->get_global(context.get()));
    const cef_string_t document = View(u"document");
    EXPECT_EQ(global->has_value_bykey(global.get(), &document), 1);

    // The page goes; what the program holds stays safe and says so.
    page.reset();
    EXPECT_EQ(context->is_valid(context.get()), 0);
    EXPECT_EQ(context->enter(context.get()), 0);
    EXPECT_EQ(context->get_global(context.get()), nullptr);
    exception = nullptr;
    retval = nullptr;
    EXPECT_EQ(context->eval(context.get(), &document, &retval, &exception), 0);
    EXPECT_EQ(retval, nullptr);
    Adopt(exception);
    EXPECT_EQ(global->is_object(global.get()), 1) << "values stay usable";
    cef_v8value_t* args[] = {cef_v8value_create_int(1)};
    auto fn = Adopt(global->get_value_bykey(global.get(), &document));
    EXPECT_EQ(fn->execute_function_with_context(fn.get(), AddRef(context.get()), nullptr, 1, args), nullptr);
  }
  cef_shutdown();
  EXPECT_TRUE(spy.balanced());
}

TEST_F(ScriptTest, TimersRunOnTheMainLoopUnlessClearedOrGone) {
  auto pump = [&](int rounds) {
    for (int i = 0; i < rounds && frame.titles.empty(); ++i) {
      cef_do_message_loop_work();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  auto page = Load(
      u"<script>var t = setTimeout(function() { document.title = 'cleared'; }, 0); clearTimeout(t);"
      u"setTimeout(function() { document.title = 'fired ' + location.href + ' ' + (document.URL == "
      u"location.href); },"
      u" 20);</script>");
  EXPECT_TRUE(frame.titles.empty()) << "timers wait for the loop";
  pump(400);
  EXPECT_EQ(frame.titles, std::vector<std::u16string>{u"fired http://test.example/dir/page.html true"});

  frame.titles.clear();
  page = Load(u"<script>setTimeout(function() { document.title = 'late'; }, 0)</script>");
  page.reset();
  pump(20);
  EXPECT_TRUE(frame.titles.empty()) << "a page that has gone runs no timer";

  // A page's timers leave the queue with the page, however many and however far ahead.
  const int objects = cef_engine_live_objects();
  page = Load(u"<script>for (var i = 0; i < 5000; ++i) setTimeout(function() {}, 100000 + i);</script>");
  EXPECT_GE(cef_engine_live_objects(), objects + 5000);
  page.reset();
  EXPECT_EQ(cef_engine_live_objects(), objects) << "queued timer tasks of a page that has gone";
}

// A timer that sets itself again with no delay waits a few milliseconds each time, and
// the loop ends at a quit request before any task due after it.
TEST_F(ScriptTest, TimerSettingItselfAgainLeavesTheLoopFreeToQuit) {
  auto page =
      Load(u"<script>var runs = 0; function again() { ++runs; setTimeout(again, 0); } again();</script>");
  engine_test::FakeTask quit([] { cef_quit_message_loop(); });
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(cef_post_delayed_task(TID_UI, quit.HandOver(), 30), 1);
  cef_run_message_loop();
  const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
  const std::u16string runs = Eval(*page, u"String(runs)");
  EXPECT_LE(std::stoi(std::string(runs.begin(), runs.end())), elapsed.count() / 4 + 2)
      << "runs in " << elapsed.count() << " ms";
}

TEST_F(ScriptTest, ScriptThatNeverEndsIsStopped) {
  cef_engine::script::SetScriptTimeLimit(std::chrono::milliseconds(300));
  Handler slow([](auto&&...) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the program's time does not count
    return 1;
  });
  ASSERT_TRUE(Register(u"slow", u"native function Slow();", slow));
  {
    auto page = Load(
        u"<script>Slow(); document.write('after slow');</script>"
        u"<script>try { while (true) {} } catch (e) { for (;;) {} }</script><p>next</p>");
    cef_engine::script::SetScriptTimeLimit(std::chrono::seconds(10));
    EXPECT_EQ(page->Text(), u"after slow\nnext");
    ASSERT_EQ(frame.console.size(), 1u);
    EXPECT_EQ(frame.console[0].message.substr(0, 19), u"Uncaught RangeError");
  }
  cef_shutdown();
  EXPECT_TRUE(slow.balanced());
}

// Loops whose time goes into built-in calls, and script that allocates without end, are
// stopped with an error and the page goes on. Each round of the loop is one long built-in
// call, so a check that waits for many instructions lets it run thousands of rounds past
// the limit, while even a fast machine does far fewer than that within it.
TEST_F(ScriptTest, ScriptSpendingItsTimeInBuiltInsOrMemoryIsStopped) {
  cef_engine::script::SetScriptTimeLimit(std::chrono::milliseconds(300));
  {
    auto page = Load(
        u"<script>var n = 0; for (;;) { ++n; new Array(100000).join('x'); }</script>"
        u"<script>document.write(n < 10000 ? 'stopped in time' : 'ran ' + n + ' times');</script>");
    EXPECT_EQ(page->Text(), u"stopped in time") << "the time check waits too many instructions";
    ASSERT_EQ(frame.console.size(), 1u);
    EXPECT_EQ(frame.console[0].message.substr(0, 19), u"Uncaught RangeError");
  }
  cef_engine::script::SetScriptTimeLimit(std::chrono::seconds(10));
  cef_engine::script::SetScriptMemoryLimit(size_t{16} * 1024 * 1024);
  frame.console.clear();
  {
    auto page = Load(u"<script>var s = 'x'; for (;;) s = s + s;</script><p>next</p>");
    EXPECT_EQ(page->Text(), u"next");
    ASSERT_EQ(frame.console.size(), 1u);
    EXPECT_NE(frame.console[0].message.find(u"alloc failed"), std::u16string::npos);
  }
  cef_engine::script::SetScriptMemoryLimit(size_t{256} * 1024 * 1024);
  cef_shutdown();
}

// Native code that meets the script heap's limit or the end of the stack: no frame of
// the program is skipped (every reference it took is given back), the program gets null
// outside script, script gets the error, and the engine's count of running script is
// right afterwards.
TEST_F(ScriptTest, NativeCodeAtTheHeapOrStackLimitGetsErrorsAndSkipsNoFrame) {
  cef_engine::script::SetScriptMemoryLimit(size_t{4} * 1024 * 1024);
  const std::u16string huge(5 * 1024 * 1024, u'x');
  const cef_string_t huge_view = View(huge);
  EXPECT_EQ(cef_v8value_create_string(&huge_view), nullptr) << "outside script";
  int depth = 0;
  Handler handler([&](const std::u16string& name, cef_v8value_t*, const std::vector<cef_v8value_t*>& args,
                      cef_v8value_t** retval, cef_string_t* exception) {
    if (name == u"Big") *retval = cef_v8value_create_string(&huge_view);
    if (name == u"BigError") cef_string_utf16_set(huge.data(), huge.size(), exception, 1);
    if (name == u"Deep") {
      // A large frame of the program's, then back into script, which calls Deep again.
      volatile char frame[32 * 1024];
      frame[depth % sizeof frame] = 1;
      ++depth;
      cef_v8value_t* fn = args[0];
      fn->set_rethrow_exceptions(fn, 1);
      cef_v8value_t* again[] = {AddRef(fn)};
      auto result = Adopt(fn->execute_function(fn, nullptr, 1, again));
      return frame[0] + 1;
    }
    return 1;
  });
  ASSERT_TRUE(Register(
      u"limits", u"native function Big(); native function BigError(); native function Deep();", handler));
  {
    auto page = Load(u"<p>x</p>");
    EXPECT_EQ(Eval(*page, u"try { Big(); 'returned' } catch (e) { e.name + ': ' + e.message }"),
              u"Error: alloc failed");
    EXPECT_EQ(Eval(*page, u"try { BigError(); 'returned' } catch (e) { e.name + ': ' + e.message }"),
              u"Error: alloc failed");
    EXPECT_EQ(Eval(*page,
                   u"function f(self) { return Deep(self); }"
                   u"try { f(f); 'returned' } catch (e) { e.name + ': ' + e.message }"),
              u"RangeError: Maximum call stack size exceeded");
    EXPECT_GT(depth, 10);
    EXPECT_EQ(cef_engine::script::RunningThread(), nullptr);
    EXPECT_EQ(cef_v8context_in_context(), 0);
    EXPECT_EQ(Eval(*page, u"'still ' + 'working'"), u"still working");
  }
  cef_engine::script::SetScriptMemoryLimit(size_t{256} * 1024 * 1024);
  cef_shutdown();
  EXPECT_TRUE(handler.balanced()) << handler.refs();
}

}  // namespace
