#include "runtime/xml.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelorin::xml {
namespace {

using namespace std::string_literals;

// Failures name the table row instead of dumping its bytes.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

constexpr std::string_view kPath = "最新版本/版本信息";

// The five fields of a manifest, as looked up under kPath.
struct Fields {
  std::string version{};
  std::string notes{};
  std::string address{};
  std::string title{};
  std::string file{};
};

Fields ReadFields(const Document& doc) {
  return {read_attribute(doc, kPath, "版本号"), read_attribute(doc, kPath, "升级说明"),
          read_attribute(doc, kPath, "下载地址"), read_attribute(doc, kPath, "文件标题"),
          read_attribute(doc, kPath, "文件名")};
}

enum class Outcome { kAccepted, kRejected, kEither };

struct ManifestCase {
  std::string name;
  std::string document;
  Outcome outcome;
  Fields fields;  // every field not given is expected empty
};

std::string Manifest(std::string_view inner) {
  return "<最新版本>\r\n" + std::string(inner) + "\r\n</最新版本>\r\n";
}

std::string Info(std::string_view attributes) {
  return "<版本信息 " + std::string(attributes) + "/>";
}

std::string Utf8(std::u8string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

const std::string kAttributes =
    "版本号=\"1.4\" 升级说明=\"修正错误#HHF提高速度\" "
    "下载地址=\"http://update.pelorin.example/QTVAR/pelorin.exe\" 文件标题=\"Pelorin 1.4\" "
    "文件名=\"pelorin.exe\"";
const std::string kInfo = Info(kAttributes);
const Fields kAll{"1.4", "修正错误#HHF提高速度", "http://update.pelorin.example/QTVAR/pelorin.exe",
                  "Pelorin 1.4", "pelorin.exe"};
const Fields kNone{};

Fields Version(std::string v) {
  return {.version = std::move(v)};
}
Fields Notes(std::string n) {
  return {.notes = std::move(n)};
}

std::vector<ManifestCase> ManifestCases() {
  using enum Outcome;
  return {
      // The manifest as published, and its variations that must still read.
      {"FiveOnOneLine", Manifest(kInfo), kAccepted, kAll},
      {"EachOnItsOwnLine",
       Manifest("<版本信息\r\n  版本号=\"1.4\"\r\n  升级说明=\"修正错误#HHF提高速度\"\r\n"
                "  下载地址=\"http://update.pelorin.example/QTVAR/pelorin.exe\"\r\n"
                "  文件标题=\"Pelorin 1.4\"\r\n  文件名=\"pelorin.exe\"\r\n/>"),
       kAccepted, kAll},
      {"SeparatedByTabs",
       Manifest("<版本信息\t版本号=\"1.4\"\t升级说明=\"修正错误#HHF提高速度\"\t"
                "下载地址=\"http://update.pelorin.example/QTVAR/pelorin.exe\"\t"
                "文件标题=\"Pelorin 1.4\"\t文件名=\"pelorin.exe\"/>"),
       kAccepted, kAll},
      {"NoLineBreaks", "<最新版本>" + kInfo + "</最新版本>", kAccepted, kAll},
      {"WithDeclaration", "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + Manifest(kInfo),
       kAccepted, kAll},
      {"InfoWithEndTag", Manifest("<版本信息 " + kAttributes + "></版本信息>"), kAccepted, kAll},
      {"SpaceBeforeRootGreater", "<最新版本 >" + kInfo + "</最新版本>", kAccepted, kAll},
      {"QueryWithEquals",
       Manifest(Info("下载地址=\"http://update.pelorin.example/get?file=pelorin.exe\"")),
       kAccepted,
       {.address = "http://update.pelorin.example/get?file=pelorin.exe"}},
      {"QuoteReference", Manifest(Info("升级说明=\"say &quote;hi&quote;\"")), kAccepted,
       Notes("say \"hi\"")},
      {"QuotReferenceStays", Manifest(Info("升级说明=\"say &quot;hi&quot;\"")), kAccepted,
       Notes("say &quot;hi&quot;")},
      {"CommentMarkersInNotes", Manifest(Info("升级说明=\"a<!--b-->c\"")), kAccepted,
       Notes("a<!--b-->c")},
      {"SecondInfoIgnored", Manifest(kInfo + "\r\n" + Info("版本号=\"9\"")), kAccepted, kAll},
      {"NestedDeeperNotFound", Manifest("<分组>" + kInfo + "</分组>"), kAccepted, kNone},
      {"NestedDeeperThenChild", Manifest("<分组>" + Info("版本号=\"9\"") + "</分组>" + kInfo),
       kAccepted, kAll},
      {"OtherContentIgnored",
       Manifest("说明文字 <其他 版本号=\"9\">文字</其他>\r\n<版本信息 备注=\"x\" " + kAttributes +
                "/>文字"),
       kAccepted, kAll},
      {"RootAttributesIgnored", "<最新版本 版本号=\"9\">" + kInfo + "</最新版本>", kAccepted, kAll},
      {"MissingAttribute", Manifest(Info("版本号=\"1.4\"")), kAccepted, Version("1.4")},
      {"EmptyValue", Manifest(Info("版本号=\"\" 文件名=\"a\"")), kAccepted, {.file = "a"}},
      {"Utf8", Utf8(u8"<最新版本>\r\n<版本信息 版本号=\"1.4\" 文件名=\"a\"/>\r\n</最新版本>"),
       kEither, kNone},
      {"Utf8WithBom",
       Utf8(u8"\uFEFF<最新版本>\r\n<版本信息 版本号=\"1.4\" 文件名=\"a\"/>\r\n</最新版本>"),
       kEither, kNone},
      {"MissingRootEndTag", "<最新版本>\r\n" + kInfo + "\r\n", kRejected, kNone},

      // What stands outside the top-level element.
      {"TextAfterRoot", Manifest(kInfo) + "trailing text", kAccepted, kAll},
      {"SecondTopLevelElement",
       Manifest(kInfo) + "<最新版本>" + Info("版本号=\"9\"") + "</最新版本>", kAccepted, kAll},
      {"FirstTopLevelIsOther", "<其他/>" + Manifest(kInfo), kAccepted, kNone},
      {"LeadByteLastAfterRoot", Manifest(kInfo) + "\xB0", kAccepted, kAll},
      {"NulBytesInText", "\0"s + Manifest("\0"s + kInfo + "\0"s), kAccepted, kAll},

      // Comments, declarations and character data.
      {"CommentHidesElement", Manifest("<!-- " + Info("版本号=\"9\"") + " -->" + kInfo), kAccepted,
       kAll},
      {"CommentsOutsideRoot", "<!-- a -->" + Manifest(kInfo) + "<!-- <b> -->", kAccepted, kAll},
      {"CommentEndAsTrailByte", Manifest("<!-- \x81--> " + Info("版本号=\"9\"") + " -->" + kInfo),
       kAccepted, kAll},
      {"UnterminatedComment", Manifest(kInfo) + "<!-- a --", kRejected, kNone},
      {"DoctypeBeforeRoot", "<!DOCTYPE 最新版本>" + Manifest(kInfo), kAccepted, kAll},
      {"DeclarationQuotedGreater", Manifest("<?pi a=\"></最新版本>\"?>" + kInfo), kAccepted, kAll},
      {"DeclarationGreaterAsTrailByte",
       Manifest("<?pi \x81> " + Info("版本号=\"9\"") + " ?>" + kInfo), kAccepted, kAll},
      {"DeclarationInsideRoot", Manifest("<!ENTITY x>" + kInfo), kAccepted, kAll},
      {"UnterminatedDeclaration", Manifest(kInfo) + "<!x \"a>", kRejected, kNone},
      {"CdataHoldsMarkup", Manifest("<![CDATA[ > " + Info("版本号=\"9\"") + " ]]>" + kInfo),
       kAccepted, kAll},
      {"CdataEndAsTrailByte", Manifest("<![CDATA[\x81]]>" + Info("版本号=\"9\"") + "]]>" + kInfo),
       kAccepted, kAll},
      {"UnterminatedCdata", Manifest("<![CDATA[ x ]]" + kInfo), kRejected, kNone},
      {"CdataMarkerOutsideRootEndsAtGreater", "<![CDATA[ x >" + Manifest(kInfo), kAccepted, kAll},

      // Tags and end tags.
      {"EndTagNameDiffers", "<最新版本>" + kInfo + "</最新版>", kRejected, kNone},
      {"EndTagCaseDiffers", Manifest(kInfo + "<Note></note>"), kRejected, kNone},
      {"CrossedEndTags", Manifest(kInfo + "<a><b></a></b>"), kRejected, kNone},
      {"ChildNeverClosed", Manifest(kInfo + "<a>"), kRejected, kNone},
      {"StrayEndTagAfterRoot", Manifest(kInfo) + "</x>", kRejected, kNone},
      {"EndTagSpaceBeforeGreater", "<最新版本>" + kInfo + "</最新版本 \r\n>", kAccepted, kAll},
      {"EndTagWithAttribute", "<最新版本>" + kInfo + "</最新版本 a=\"1\">", kRejected, kNone},
      {"EndTagClosedBySlash", "<最新版本>" + kInfo + "</最新版本/>", kRejected, kNone},
      {"EmptyElementName", Manifest(kInfo + "<></>"), kRejected, kNone},
      {"SpaceAfterLess", "< 最新版本>" + kInfo + "</最新版本>", kRejected, kNone},
      {"LessAtEnd", Manifest(kInfo) + "<", kRejected, kNone},
      {"UnterminatedStartTag", "<最新版本>" + kInfo + "<a", kRejected, kNone},
      {"FaultAfterFields", Manifest(kInfo + "<a></b>"), kRejected, kNone},
      {"LeadByteTakesGreaterOfName", "<最新版本\xA3>" + kInfo + "</最新版本>", kRejected, kNone},
      {"LeadByteTakesLessOfEndTag", "<最新版本>" + kInfo + "\x81</最新版本>", kRejected, kNone},
      {"LessAsTrailByteInText", Manifest("\x81" + Info("版本号=\"9\"") + kInfo), kAccepted, kAll},

      // Attributes.
      {"SpaceAroundEquals", Manifest(Info("版本号 \t= \"1.4\"")), kAccepted, Version("1.4")},
      {"QuotedValueHoldsMarkup", Manifest(Info("升级说明=\"a = <b> / c/>\"")), kAccepted,
       Notes("a = <b> / c/>")},
      {"QuotedValueHoldsLineBreak", Manifest(Info("升级说明=\"a\r\nb\"")), kAccepted,
       Notes("a\r\nb")},
      {"QuoteAsTrailByteInValue", Manifest(Info("升级说明=\"\x81\"x\"")), kAccepted,
       Notes("\x81\"x")},
      {"NulInValue", Manifest(Info("版本号=\"1\0 2\""s)), kAccepted, Version("1\0 2"s)},
      {"UnquotedValue",
       Manifest(Info("版本号=1.4 文件名=\"a\"")),
       kAccepted,
       {.version = "1.4", .file = "a"}},
      {"UnquotedValueRunsThroughSlashGreater", Manifest("<版本信息 版本号=1.4/>"), kRejected,
       kNone},
      {"SingleQuoteOrdinary",
       Manifest(Info("版本号='1.4' 升级说明=\"it's\"")),
       kAccepted,
       {.version = "'1.4'", .notes = "it's"}},
      {"SingleQuotedValueWithSpace", Manifest(Info("文件名='a b'")), kRejected, kNone},
      {"EmptyAttributeName", Manifest(Info("版本号=\"1.4\" =\"x\"")), kRejected, kNone},
      {"QuoteWhereNameExpected", Manifest(Info("版本号=\"1.4\" \"x\"")), kRejected, kNone},
      {"QuoteRightAfterElementName", Manifest("<版本信息 \"x\"/>"), kRejected, kNone},
      {"DuplicateAttribute", Manifest(Info("版本号=\"1.4\" 版本号=\"1.5\"")), kRejected, kNone},
      {"DuplicateAmongMany",
       Manifest(Info("a0=\"\" a1=\"\" a2=\"\" a3=\"\" a4=\"\" a5=\"\" a6=\"\" a7=\"\" a8=\"\" "
                     "版本号=\"1.4\" a3=\"x\"")),
       kRejected, kNone},
      {"ManyDistinct",
       Manifest(Info("a0=\"\" a1=\"\" a2=\"\" a3=\"\" a4=\"\" a5=\"\" a6=\"\" a7=\"\" a8=\"\" "
                     "a9=\"\" 版本号=\"1.4\"")),
       kAccepted, Version("1.4")},
      {"NamesDifferingInTrailByte", Manifest(Info("\xB0\xA1=\"1\" \xB0\xA2=\"2\" 版本号=\"3\"")),
       kAccepted, Version("3")},
      {"NameWithoutValue", Manifest(Info("版本号")), kRejected, kNone},
      {"NameWithoutEquals", Manifest(Info("版本号 \"1.4\"")), kRejected, kNone},
      {"NotSeparated", Manifest(Info("版本号=\"1.4\"文件名=\"a\"")), kRejected, kNone},
      {"UnterminatedValue", Manifest(Info("版本号=\"1.4")), kRejected, kNone},

      // Decoding of values.
      {"FiveReferences", Manifest(Info("升级说明=\"&lt;&gt;&amp;&apos;&quote;\"")), kAccepted,
       Notes("<>&'\"")},
      {"DecodedOnce", Manifest(Info("升级说明=\"&amp;lt;&amp;quote;\"")), kAccepted,
       Notes("&lt;&quote;")},
      {"OtherReferencesStay", Manifest(Info("升级说明=\"&#34;&nbsp;&x &\"")), kAccepted,
       Notes("&#34;&nbsp;&x &")},
      {"ReferencesAreCaseExact", Manifest(Info("升级说明=\"&LT;&Amp;\"")), kAccepted,
       Notes("&LT;&Amp;")},
      {"ReferenceWithoutSemicolon", Manifest(Info("升级说明=\"&lt &gt\"")), kAccepted,
       Notes("&lt &gt")},
      {"AmpersandAsTrailByte", Manifest(Info("升级说明=\"\x81&lt;\"")), kAccepted,
       Notes("\x81&lt;")},
      {"UnquotedValueDecoded",
       Manifest(Info("版本号=&lt;1&gt; 文件名=\"a\"")),
       kAccepted,
       {.version = "<1>", .file = "a"}},

      // Documents without any element.
      {"Empty", "", kRejected, kNone},
      {"OnlyWhiteSpace", " \r\n\t", kRejected, kNone},
      {"OnlyText", "1.4", kRejected, kNone},
      {"OnlyDeclaration", "<?xml version=\"1.0\"?>", kRejected, kNone},
      {"OnlyComment", "<!-- " + Manifest(kInfo) + " -->", kRejected, kNone},
  };
}

class ManifestTable : public testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestTable, ReadsFields) {
  const ManifestCase& c = GetParam();
  Document doc;
  const bool accepted = load(doc, c.document);
  EXPECT_EQ(doc.loaded(), accepted);
  if (c.outcome != Outcome::kEither) {
    EXPECT_EQ(accepted, c.outcome == Outcome::kAccepted);
  }
  const Fields got = ReadFields(doc);
  EXPECT_EQ(got.version, c.fields.version);
  EXPECT_EQ(got.notes, c.fields.notes);
  EXPECT_EQ(got.address, c.fields.address);
  EXPECT_EQ(got.title, c.fields.title);
  EXPECT_EQ(got.file, c.fields.file);
}

INSTANTIATE_TEST_SUITE_P(Xml, ManifestTable, testing::ValuesIn(ManifestCases()),
                         [](const auto& p) { return p.param.name; });

struct LookupCase {
  const char* name;
  std::string path;
  std::string attribute;
  std::string value;
};

class Lookup : public testing::TestWithParam<LookupCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(load(doc_,
                     "<最新版本 版本号=\"root\">\r\n"
                     "  <其他 版本号=\"other\"><版本信息 版本号=\"nested\"/></其他>\r\n"
                     "  <版本信息 版本号=\"first\" 版本=\"short\"/>\r\n"
                     "  <版本信息 版本号=\"second\"/>\r\n"
                     "  <版本\x81/信息 版本号=\"slash\"/>\r\n"
                     "</最新版本>"));
  }
  Document doc_;
};

TEST_P(Lookup, FollowsPath) {
  EXPECT_EQ(read_attribute(doc_, GetParam().path, GetParam().attribute), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, Lookup,
    testing::Values(LookupCase{"FirstMatchingChild", "最新版本/版本信息", "版本号", "first"},
                    LookupCase{"TopLevelElement", "最新版本", "版本号", "root"},
                    LookupCase{"DeeperPath", "最新版本/其他/版本信息", "版本号", "nested"},
                    LookupCase{"ShorterAttributeName", "最新版本/版本信息", "版本", "short"},
                    LookupCase{"EmptyPath", "", "版本号", ""},
                    LookupCase{"EmptyName", "最新版本/版本信息", "", ""},
                    LookupCase{"FirstComponentNotTopLevel", "版本信息", "版本号", ""},
                    LookupCase{"ChildAsFirstComponent", "其他/版本信息", "版本号", ""},
                    LookupCase{"LeadingSlash", "/最新版本/版本信息", "版本号", ""},
                    LookupCase{"TrailingSlash", "最新版本/版本信息/", "版本号", ""},
                    LookupCase{"DoubleSlash", "最新版本//版本信息", "版本号", ""},
                    LookupCase{"PrefixOfChildName", "最新版本/版本", "版本号", ""},
                    LookupCase{"LongerChildName", "最新版本/版本信息息", "版本号", ""},
                    LookupCase{"NoSuchChild", "最新版本/无", "版本号", ""},
                    LookupCase{"PrefixOfAttributeName", "最新版本/版本信息", "版", ""},
                    LookupCase{"AttributeNameWithSpace", "最新版本/版本信息", "版本号 ", ""},
                    LookupCase{"SlashAsTrailByte", "最新版本/版本\x81/信息", "版本号", "slash"}),
    [](const auto& p) { return p.param.name; });

TEST(DocumentLife, EmptyUntilLoaded) {
  Document doc;
  EXPECT_FALSE(doc.loaded());
  EXPECT_EQ(read_attribute(doc, kPath, "版本号"), "");
  release(doc);
  EXPECT_FALSE(doc.loaded());
}

TEST(DocumentLife, LoadReplacesWhatWasHeld) {
  Document doc;
  ASSERT_TRUE(load(doc, Manifest(Info("版本号=\"1.4\""))));
  ASSERT_TRUE(load(doc, Manifest(Info("升级说明=\"x\""))));
  EXPECT_EQ(read_attribute(doc, kPath, "版本号"), "");
  EXPECT_EQ(read_attribute(doc, kPath, "升级说明"), "x");
  EXPECT_FALSE(load(doc, Manifest(Info("版本号=\"1.4\"")) + "<"));
  EXPECT_FALSE(doc.loaded());
  EXPECT_EQ(read_attribute(doc, kPath, "升级说明"), "");
}

TEST(DocumentLife, KeepsItsOwnCopyOfTheBytes) {
  Document doc;
  {
    auto bytes = std::make_unique<std::string>(Manifest(Info("版本号=\"1.4\"")));
    ASSERT_TRUE(load(doc, *bytes));
    bytes->assign(bytes->size(), 'x');
  }
  EXPECT_EQ(read_attribute(doc, kPath, "版本号"), "1.4");
}

TEST(DocumentLife, ReleaseEmptiesTheDocument) {
  Document doc;
  ASSERT_TRUE(load(doc, Manifest(kInfo)));
  release(doc);
  EXPECT_FALSE(doc.loaded());
  EXPECT_EQ(read_attribute(doc, kPath, "版本号"), "");
}

// Hostile shapes: a million levels of nesting, and many attributes on one element.
class HostileShape : public testing::Test {
 protected:
  static constexpr std::size_t kDepth = 1'000'000;

  static std::string Nested(std::string_view innermost, std::string_view closing) {
    std::string doc;
    for (std::size_t i = 0; i < kDepth; ++i) {
      doc += "<a>";
    }
    doc += innermost;
    for (std::size_t i = 0; i < kDepth; ++i) {
      doc += closing;
    }
    return doc;
  }
};

TEST_F(HostileShape, MillionLevelsReadToTheBottom) {
  Document doc;
  ASSERT_TRUE(load(doc, Nested("<b x=\"deep\"/>", "</a>")));
  std::string path = "a";
  for (std::size_t i = 1; i < kDepth; ++i) {
    path += "/a";
  }
  EXPECT_EQ(read_attribute(doc, path + "/b", "x"), "deep");
  EXPECT_EQ(read_attribute(doc, path + "/a", "x"), "");
}

TEST_F(HostileShape, MillionLevelsWithAFaultAreRejected) {
  Document doc;
  EXPECT_FALSE(load(doc, Nested("<b x=\"deep\"/></c>", "</a>")));
  EXPECT_FALSE(load(doc, Nested("", "")));
}

TEST_F(HostileShape, DuplicateFoundAmongManyAttributes) {
  std::string attributes;
  for (int i = 0; i < 100'000; ++i) {
    attributes += " n" + std::to_string(i) + "=\"v\"";
  }
  Document doc;
  ASSERT_TRUE(load(doc, "<a" + attributes + " last=\"1\"/>"));
  EXPECT_EQ(read_attribute(doc, "a", "last"), "1");
  EXPECT_FALSE(load(doc, "<a" + attributes + " n4711=\"x\"/>"));
}

}  // namespace
}  // namespace pelorin::xml
