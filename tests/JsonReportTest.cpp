// The JSON form of a report: the byte-to-text rule, and members that stay
// well formed whichever step a report ends at.
#include <gtest/gtest.h>

#include <initializer_list>

#include "JsonReport.h"

namespace korvane {
namespace {

// Writes one report through steps and returns its line; chunkBytes 1 hands
// every value to the sink on its own, which must not change the line.
template <typename Steps>
std::string Line(Steps steps, std::size_t chunkBytes = TJsonReport::DefaultChunkBytes) {
  std::string out;
  TJsonReport json([&out](std::string_view text) { out.append(text); }, chunkBytes);
  json.Begin("f");
  steps(json);
  json.End();
  return out;
}

TEST(JsonText, EveryByteIsTheCodePointOfItsValueAndControlsAreEscaped) {
  const struct {
    std::string Bytes;
    std::string Json;
  } cases[] = {
      {"Plain_name@12", "\"Plain_name@12\""},
      {"quote\" back\\slash", R"("quote\" back\\slash")"},
      {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {"\x7f\x80\x9f", R"("\u007f\u0080\u009f")"},
      {"\xa0\xe9\xff", "\"\xc2\xa0\xc3\xa9\xc3\xbf\""},
      {"", "\"\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Line([&](TJsonReport& json) { json.Title(c.Bytes); }), "{\"file\":\"f\",\"title\":" + c.Json + "}\n")
        << c.Json;
  // A text without bytes may have no address either (a found fault).
  EXPECT_EQ(Line([](TJsonReport& json) { json.Title(std::string_view{}); }), "{\"file\":\"f\",\"title\":\"\"}\n");
}

// Names are checked eight bytes a step: a byte that needs care is found in
// every place of a word and of the last bytes.
TEST(JsonText, EveryByteIsJudgedAlikeWhereverItStands) {
  for (int byte = 0; byte < 256; ++byte) {
    const bool plain = byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
    for (const std::size_t at : std::initializer_list<std::size_t>{0, 7, 8, 15, 16}) {
      std::string name(17, 'a');
      name[at] = static_cast<char>(byte);
      const std::string line = Line([&](TJsonReport& json) { json.Title(name); });
      EXPECT_EQ(line.find("\"" + name + "\"") != std::string::npos, plain) << byte << " at " << at;
    }
  }
}

TEST(JsonMembers, ContainersCloseWhereverTheReportEnds) {
  const auto header = [](TJsonReport& json) {
    json.Kind("Portable Executable", "PE32");
    json.Header("pe_header");
    json.Number("Machine", 332);
    json.Words("MachineName", "Intel 386");
    const std::string_view phrases[] = {"a", "b"};
    json.WordList("CharacteristicsText", phrases);
  };
  const auto listings = [&](TJsonReport& json) {
    header(json);
    json.Exports();
    // The ordinal is the entry plus Base, past 65535 too.
    json.ExportBase(1);
    json.Export(0, "Alpha");
    json.Export(65535, "Beta");
    json.Imports();
    json.ImportLibrary("K.dll");
    json.ImportByName("A");
    json.ImportByOrdinal(16);
    json.ImportLibrary("U.dll");
  };
  const std::string head = R"({"file":"f","kind":"Portable Executable","format":"PE32","pe_header":{"Machine":332,)"
                           R"("MachineName":"Intel 386","CharacteristicsText":["a","b"]})";
  const std::string lists =
      R"(,"exports":[{"ordinal":1,"index":0,"name":"Alpha"},{"ordinal":65536,"index":65535,"name":"Beta"}],)"
      R"("imports":[{"library":"K.dll","functions":["A",{"ordinal":16}]},)"
      R"({"library":"U.dll","functions":[]}])";
  EXPECT_EQ(Line(listings), head + lists + "}\n");
  EXPECT_EQ(Line(listings, 1), head + lists + "}\n");
  // A failure in a summary or a listing closes what is open before "error".
  EXPECT_EQ(Line([&](TJsonReport& json) {
              header(json);
              json.Fail("cut");
            }),
            head + R"(,"error":{"message":"cut"}})" + "\n");
  EXPECT_EQ(Line([&](TJsonReport& json) {
              header(json);
              json.Exports();
              json.Export(1, "A");
              json.Fail("no more");
            }),
            head + R"(,"exports":[{"ordinal":1,"index":1,"name":"A"}],"error":{"message":"no more"}})" + "\n");
  // Numbers under names of any length are separated alike.
  const std::string longName(60, 'N');
  EXPECT_EQ(Line([&](TJsonReport& json) {
              json.Header("pe_header");
              json.Number("A", 1);
              json.Number(longName, 2);
              json.Number("B", 3);
            }),
            R"({"file":"f","pe_header":{"A":1,")" + longName + R"(":2,"B":3}})" + "\n");
  // The 16-bit module's line is the report's error; a later failure keeps it.
  EXPECT_EQ(Line([](TJsonReport& json) {
              json.Win16Module("16-bit");
              json.Fail("later");
            }),
            "{\"file\":\"f\",\"error\":{\"message\":\"16-bit\"}}\n");
  // Each file starts afresh, also after a failure.
  std::string out;
  TJsonReport json([&out](std::string_view text) { out.append(text); });
  for (const char* file : {"a", "b"}) {
    json.Begin(file);
    json.Fail("x");
    json.End();
  }
  EXPECT_EQ(out, "{\"file\":\"a\",\"error\":{\"message\":\"x\"}}\n{\"file\":\"b\",\"error\":{\"message\":\"x\"}}\n");
}

} // namespace
} // namespace korvane
