// The tolerant HTML parser and what the document makes of a page: tree, title, text,
// source, frames, icons and addresses.
#include <random>

#include "dom/document.h"
#include "dom/html_parser.h"
#include "page_test_support.h"
#include "strings/utf.h"

namespace {

using cef_engine::dom::Document;
using cef_engine::dom::HtmlParser;
using cef_engine::dom::Node;
using cef_engine::dom::NodeKind;
using cef_engine::dom::SourceText;

std::shared_ptr<Document> ParseForm(SourceText html, const std::u16string& url) {
  auto document = std::make_shared<Document>(url);
  document->set_source(std::move(html));
  HtmlParser(*document).Parse(document->source(), {});
  return document;
}

// A page parsed as it comes from a site, as UTF-8 bytes; parsed as UTF-16 (as content the
// program gives) it must make the same document.
std::shared_ptr<Document> Parse(std::u16string_view html,
                                std::u16string url = u"http://host.example/a/b.html") {
  std::string bytes;
  cef_engine::utf::Transcode(html, bytes);
  auto document = ParseForm(SourceText::Utf8(bytes), url);
  std::u16string text;
  cef_engine::utf::Transcode(std::string_view(bytes), text);
  const auto wide = ParseForm(text, url);
  EXPECT_EQ(document->root().Markup(), wide->root().Markup()) << bytes;
  std::vector<Node*> owners;
  EXPECT_EQ(document->ViewText(&owners), wide->ViewText()) << bytes;
  EXPECT_EQ(owners.size(), wide->ViewText().size()) << "a node for each UTF-16 unit: " << bytes;
  EXPECT_EQ(document->TextRuns().ToString(), document->Text()) << bytes;
  return document;
}

std::u16string BodyMarkup(const Document& document) {
  const Node* body = document.Body();
  std::u16string out;
  for (const auto& child : body->children()) out += child->Markup();
  return out;
}

TEST(DocumentParsing, RepairsBadMarkupTheWayBrowsersDo) {
  struct Case {
    std::u16string_view html, body;
  };
  const Case cases[] = {
      // Unclosed and implied end tags.
      {u"<p>one<p>two<div>three</div>", u"<p>one</p><p>two</p><div>three</div>"},
      {u"<ul><li>a<li>b</ul>after", u"<ul><li>a</li><li>b</li></ul>after"},
      {u"<b><i>x</b>y</i>z", u"<b><i>x</i></b>yz"},
      // Stray end tags vanish; "</br>" is a break; void elements take no content.
      {u"</span>a</div>b<br>c</br>d<img src=x.png>e", u"ab<br>c<br>d<img src=\"x.png\">e"},
      // Attributes: quoting styles, case, duplicates (the first wins), no value.
      {u"<INPUT Type='text' value=\"a b\" VALUE=second disabled>",
       u"<input type=\"text\" value=\"a b\" disabled=\"\">"},
      // Comments, also unterminated; a '<' that starts no tag is text.
      {u"a<!-- c -->b < c<!-- open", u"a<!-- c -->b &lt; c<!-- open-->"},
      // A tag cut off at the end of the input.
      {u"x<div class=\"unterminated", u"x<div class=\"unterminated\"></div>"},
      // Raw text: markup inside script stays text.
      {u"x<script>if (a<b) x = '</p>';</script>", u"x<script>if (a<b) x = '</p>';</script>"},
      // Text past ASCII in text, names, values, comments and raw text.
      {u"<p title='caf\u00E9 \U0001F600'>na\u00EFve\u00A0\u2603<d\u00EFv>x</d\u00EFv><!--\u00E9--></p>"
       u"<textarea>\u00E9&amp;</textarea>",
       u"<p title=\"caf\u00E9 \U0001F600\">na\u00EFve&nbsp;\u2603<d\u00EFv>x</d\u00EFv><!--\u00E9--></p>"
       u"<textarea>\u00E9&amp;</textarea>"},
  };
  for (const auto& c : cases) {
    const auto document = Parse(c.html);
    EXPECT_EQ(BodyMarkup(*document), c.body) << std::string(c.html.begin(), c.html.end());
  }
}

TEST(DocumentParsing, BuildsHtmlHeadAndBodyAroundBareContent) {
  const auto document = Parse(u"<!DOCTYPE html><title>T</title>text");
  const Node& root = document->root();
  ASSERT_EQ(root.children().size(), 2u);
  EXPECT_EQ(root.children()[0]->kind(), NodeKind::kDoctype);
  ASSERT_NE(document->Html(), nullptr);
  ASSERT_NE(document->Head(), nullptr);
  ASSERT_NE(document->Body(), nullptr);
  EXPECT_EQ(document->Head()->children().front()->name(), u"title");
  EXPECT_EQ(document->Body()->children().front()->data(), u"text");
  EXPECT_EQ(document->Title(), u"T");

  const auto empty = Parse(u"");
  EXPECT_NE(empty->Body(), nullptr);
  EXPECT_EQ(empty->Text(), u"");
}

TEST(DocumentParsing, DecodesCharacterReferences) {
  const auto document = Parse(
      u"<p title=\"&quot;q&quot; &amp; &#60;\">&amp;&lt;&gt;&quot;&#65;&#x42;&#x1F600;&nbsp;&bogus; &amp "
      u"x</p>");
  const Node* p = document->Body()->children().front().get();
  EXPECT_EQ(*p->FindAttribute(u"title"), u"\"q\" & <");
  EXPECT_EQ(p->children().front()->data(), u"&<>\"AB\U0001F600\u00A0&bogus; & x");
  // Out-of-range and zero references become the replacement character.
  EXPECT_EQ(cef_engine::dom::DecodeEntities(u"&#0;&#x110000;&#55296;"), u"\uFFFD\uFFFD\uFFFD");
}

TEST(DocumentParsing, TitleTextAndSourceAreWhatAReaderSees) {
  const std::u16string html =
      u"<html><head><title>  My \n  page </title><style>p{}</style><script>var hidden=1;</script></head>"
      u"<body>Hello <b>big</b>\n   world<br>next line<div>block</div>tail"
      u"<pre>\n  keep   spaces\nline2</pre><p>para <!-- no -->one</p><p>two</p>"
      u"<table><tr><td>c1</td><td>c2</td></tr></table></body></html>";
  const auto document = Parse(html);
  EXPECT_EQ(document->Title(), u"My page");
  EXPECT_EQ(document->Text(),
            u"Hello big world\nnext line\nblock\ntail\n  keep   spaces\nline2\npara one\ntwo\nc1 c2");
  EXPECT_EQ(document->source()->ToString(), html);

  document->SetTitle(u"Renamed");
  EXPECT_EQ(document->Title(), u"Renamed");
  const auto untitled = Parse(u"<p>x</p>");
  untitled->SetTitle(u"New");
  EXPECT_EQ(untitled->Title(), u"New");
  EXPECT_EQ(untitled->Text(), u"x") << "the title is no part of the text";

  // The view shows images and text inputs as text of their own; a reader sees none of it.
  const auto form = Parse(
      u"<p>a<img src=x.png alt='the  emblem'>b <img src=y.png> <img alt=''>c</p><input value=typed> "
      u"<input type=password value=abc> <input placeholder='Your name'> <input> <input type=checkbox> "
      u"<textarea placeholder=Notes></textarea>");
  bool replaced = false;
  EXPECT_EQ(form->ViewText(nullptr, &replaced),
            u"athe emblemb [image] c\ntyped \u2022\u2022\u2022 Your name ________ Notes");
  EXPECT_TRUE(replaced);
  EXPECT_EQ(form->Text(), u"ab c");
  EXPECT_EQ(untitled->ViewText(nullptr, &replaced), u"x");
  EXPECT_FALSE(replaced);
}

// Text nodes refer to runs of the text they were parsed from, and a page's kept text to
// runs of its text nodes: both stay right when nodes move to another document whose
// first one goes, and when the text is trimmed across runs.
TEST(DocumentParsing, TextRunsOutliveTheirDocumentAndTrimAcrossRuns) {
  const std::u16string words(80, u'w');  // long enough to be kept as a run, not copied
  auto first = Parse(u"<p>" + words + u"  run</p><p>&amp; decoded</p>");
  const auto second = Parse(u"<br><br><div>" + words + u"  own</div><div id=b>x</div><br> <br>");
  second->ElementById(u"b")->ReplaceChildren(first->Body()->TakeChildren());
  first.reset();
  EXPECT_EQ(second->Text(), words + u" own\n" + words + u" run\n& decoded");
  EXPECT_EQ(second->TextRuns().ToString(), second->Text());
}

// Bytes that are no UTF-8 become U+FFFD each, wherever markup cuts the text.
TEST(DocumentParsing, MalformedUtf8ReadsAsTheWholeDecoded) {
  const std::string_view pages[] = {
      "\xE2<p>\xC3</p>\xF0\x9F\x98",
      "<p a='\xFF'>\xED\xA0\x80 x\xC3 \xC3</p>\x80<b>\xF4\x90\x80\x80</b><title>\xE2\x82</title>",
  };
  for (const std::string_view bytes : pages) {
    std::u16string text;
    cef_engine::utf::Transcode(bytes, text);
    const auto narrow = ParseForm(SourceText::Utf8(std::string(bytes)), u"http://host.example/");
    const auto wide = ParseForm(text, u"http://host.example/");
    EXPECT_EQ(narrow->root().Markup(), wide->root().Markup());
    EXPECT_EQ(narrow->Title(), wide->Title());
    EXPECT_EQ(narrow->TextRuns().ToString(), wide->Text());
    EXPECT_EQ(narrow->source()->ToString(), text);
  }
}

TEST(DocumentParsing, ListsFramesIconsAndResolvesAddresses) {
  const auto document = Parse(
      u"<head><link rel=\"shortcut icon\" href=\"/favicon.ico\"><link rel=stylesheet href=s.css>"
      u"<link rel=icon href=\"img/i.png\"></head><body><iframe name=left src=\"l.html\"></iframe>"
      u"<iframe id=right src=\"http://other.example/r\"></iframe><iframe></iframe></body>");
  const auto frames = document->IFrames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].name, u"left");
  EXPECT_EQ(frames[0].src, u"l.html");
  EXPECT_EQ(frames[1].name, u"right");
  EXPECT_EQ(frames[2].src, u"");
  EXPECT_EQ(document->IconUrls(), (std::vector<std::u16string>{u"http://host.example/favicon.ico",
                                                               u"http://host.example/a/img/i.png"}));

  using cef_engine::dom::ResolveUrl;
  const std::u16string base = u"http://h.example:8080/a/b/c.html?q=1#f";
  EXPECT_EQ(ResolveUrl(base, u"d.html"), u"http://h.example:8080/a/b/d.html");
  EXPECT_EQ(ResolveUrl(base, u"../x/./y"), u"http://h.example:8080/a/x/y");
  EXPECT_EQ(ResolveUrl(base, u"../../../../z"), u"http://h.example:8080/z");
  EXPECT_EQ(ResolveUrl(base, u"/root?x#y"), u"http://h.example:8080/root?x#y");
  EXPECT_EQ(ResolveUrl(base, u"?other"), u"http://h.example:8080/a/b/c.html?other");
  EXPECT_EQ(ResolveUrl(base, u"#top"), u"http://h.example:8080/a/b/c.html?q=1#top");
  EXPECT_EQ(ResolveUrl(base, u"//cdn.example/s.js"), u"http://cdn.example/s.js");
  EXPECT_EQ(ResolveUrl(base, u"client://test/"), u"client://test/");
  EXPECT_EQ(ResolveUrl(base, u"  spaced.html "), u"http://h.example:8080/a/b/spaced.html");
  EXPECT_EQ(ResolveUrl(u"about:blank", u"x.html"), u"x.html");
  EXPECT_EQ(ResolveUrl(u"http://h.example", u"x.html"), u"http://h.example/x.html");
}

TEST(DocumentParsing, SurvivesArbitraryMarkupSoup) {
  // Pieces that stress the tokenizer when glued together at random.
  const std::u16string_view pieces[] = {u"<",
                                        u">",
                                        u"</",
                                        u"/>",
                                        u"<!--",
                                        u"-->",
                                        u"<!",
                                        u"<?",
                                        u"&",
                                        u"&#",
                                        u"&#x",
                                        u";",
                                        u"=",
                                        u"\"",
                                        u"'",
                                        u" ",
                                        u"\n",
                                        u"a",
                                        u"p",
                                        u"div",
                                        u"li",
                                        u"br",
                                        u"script",
                                        u"title",
                                        u"pre",
                                        u"table",
                                        u"td",
                                        u"html",
                                        u"body",
                                        u"head",
                                        std::u16string_view(u"\0", 1),
                                        u"\xD800",
                                        u"x=",
                                        u"<a href=",
                                        u"</body>",
                                        u"<p>",
                                        u"<li>",
                                        u"</html>",
                                        u"\u00E9",
                                        u"\u00A0",
                                        u"\U0001F600"};
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  for (int round = 0; round < 400; ++round) {
    std::u16string html;
    const int length = 1 + round % 60;
    for (int k = 0; k < length; ++k) html += pieces[pick(random)];
    const auto document = Parse(html);
    ASSERT_NE(document->Body(), nullptr);
    // Every node's parent link leads back to the root.
    std::function<void(const Node&)> check = [&](const Node& node) {
      for (const auto& child : node.children()) {
        ASSERT_EQ(child->parent(), &node);
        check(*child);
      }
    };
    check(document->root());
    (void)document->Text();
    (void)document->root().Markup();
  }
}

TEST(DocumentParsing, DeepNestingStaysWithinTheDepthLimit) {
  std::u16string html;
  for (int i = 0; i < 3000; ++i) html += u"<div><span>";
  html += u"deep";
  const auto document = Parse(html);
  size_t depth = 0;
  for (const Node* node = document->Body(); node && !node->children().empty();
       node = node->children().back().get())
    ++depth;
  EXPECT_LE(depth, 520u);
  EXPECT_EQ(document->Text(), u"deep");
  EXPECT_FALSE(document->root().Markup().empty());
}

}  // namespace
