#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>

#include "archive/archive_record.h"
#include "archive/archive_rows.h"
#include "archive/station_text.h"

namespace krm::archive {
namespace {

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

TEST(StationTextTest, CodePageCharactersAndTheirWayBack) {
  struct Case {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"TABLE_PC=57", "TABLE_PC=57"},
      {"\x80", "\xE2\x82\xAC"},                                              // euro sign
      {"Ren\xE9", "Ren\xC3\xA9"},                                            // e acute
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // undefined in 1252
      {std::string("a\0b", 3),
       "a\xE2\x90\x80"
       "b"},  // NUL as U+2400
      {"\x9F\xFF", "\xC5\xB8\xC3\xBF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StationText(c.bytes), c.utf8);
    EXPECT_EQ(StationBytes(c.utf8), c.bytes);
  }
  // Every byte, and random byte strings, come back as they went in.
  EXPECT_EQ(StationBytes(StationText(AllBytes())), AllBytes());
  std::mt19937 random(21);
  for (int i = 0; i < 200; ++i) {
    std::string bytes(random() % 64, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    EXPECT_EQ(StationBytes(StationText(bytes)), bytes);
  }
}

TEST(StationTextTest, TextsNoStationBytesMakeAreRefused) {
  for (std::string_view utf8 : {"\xE4\xB8\xAD",  // a character outside code page 1252
                                "\xC2\x80",      // U+0080, which 1252 does not give
                                "\xC0\xAF",      // overlong form
                                "\xC3",          // cut short
                                "\xFF"}) {
    EXPECT_FALSE(StationBytes(utf8).has_value()) << utf8;
  }
}

TEST(StationTextTest, JsonKeepsOrderRepeatsAndEveryByte) {
  const KeyValueList pairs = {{"B", "2"},
                              {"A", "1"},
                              {"B", "repeated"},
                              {"quote\"back\\slash", "tab\tline\r\nend"},
                              {"'); DROP TABLE stone_grades; --", "x' OR '1'='1"},
                              {AllBytes(), AllBytes()},
                              {"", ""}};
  const std::string json = JsonObject(pairs);
  EXPECT_EQ(json.substr(0, 20), R"({"B":"2","A":"1","B")");
  EXPECT_EQ(ParseJsonObject(json), pairs);
  // Control characters are escaped, so the text has none below a blank.
  for (char c : json) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  const std::vector<std::string> messages = {"one", "", "three, with \"quotes\""};
  EXPECT_EQ(JsonArray(messages), R"(["one","","three, with \"quotes\""])");
  EXPECT_EQ(ParseJsonArray(JsonArray(messages)), messages);
  EXPECT_EQ(ParseJsonArray("[]"), std::vector<std::string>());
  EXPECT_EQ(ParseJsonObject(" { } "), KeyValueList());
}

TEST(StationTextTest, MalformedJsonIsRefused) {
  for (std::string_view json : {"", "{", "{\"a\"}", "{\"a\":1}", "{\"a\":\"b\",}", "[\"a\"] x",
                                "[\"\\u4e2d\"]", "[\"\\q\"]", "[\"raw\nline\"]", "[\"\\u00\"]"}) {
    EXPECT_FALSE(ParseJsonObject(json).has_value() || ParseJsonArray(json).has_value()) << json;
  }
}

TEST(ArchiveRecordTest, MeasurementItemsAsTheExportReadsThem) {
  struct Case {
    std::string contents;
    std::vector<std::pair<std::string, std::string>> items;
  } cases[] = {
      {"[NumericalParameters]\r\nSTONE_ID=A1\r\nTABLE_PC=57\r\n",
       {{"STONE_ID", "A1"}, {"TABLE_PC", "57"}}},
      // Empty values, repeated keys, "=" inside a value, blanks kept around the "=".
      {"[N]\nCULET_MM=\nK=1\nK=2\nF=a=b\n  KEY = V  \n",
       {{"CULET_MM", ""}, {"K", "1"}, {"K", "2"}, {"F", "a=b"}, {"KEY ", " V"}}},
      // An item ends at a comma; items without "=" are passed over; a quoted item loses its
      // quotes and keeps its commas.
      {"[N]\nA=1,2\nno equals\n\"Q=x,y\"\n", {{"A", "1"}, {"Q", "x,y"}}},
      {"\xEF\xBB\xBF[N]\nA=1", {{"A", "1"}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MeasurementItems(c.contents), c.items) << c.contents;
    EXPECT_EQ(ParseJsonObject(MeasurementJson(c.contents)), c.items) << c.contents;
  }
}

TEST(ArchiveRecordTest, UtcTimestamps) {
  using namespace std::chrono;
  const struct {
    sys_time<milliseconds> time;
    const char* text;
  } cases[] = {
      {sys_days{1970y / 1 / 1}, "1970-01-01T00:00:00.000Z"},
      {sys_days{2024y / 2 / 29} + 23h + 59min + 59s + 999ms, "2024-02-29T23:59:59.999Z"},
      {sys_days{2026y / 12 / 6} + 14h + 5min + 9s + 7ms, "2026-12-06T14:05:09.007Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(UtcTimestamp(c.time), c.text);
}

TEST(ArchiveRecordTest, GradeDataDigestIsTheDigestOfBothFileDigests) {
  // (sha256sum < f1; sha256sum < f2) | cut -c1-64 | sha256sum, with f1 "abc" and f2 empty.
  EXPECT_EQ(GradeDataDigest("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"),
            "ff481ce4c9482a1350469a8ff263915d6a478123e3a0c03f6eba5cb3e38a150f");
}

TEST(ArchiveRecordTest, RunIdsAreRandomHex) {
  std::set<std::string> ids;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = NewRunId();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 1000u);
}

TEST(ArchiveRecordTest, NewRecordAndItsRowsComeBackWhole) {
  ArchiveRecord r = NewRecord("lab/1", "[N]\nSTONE_ID=S\xE9\nX=\n", "ab");
  EXPECT_EQ(r.station, "lab/1");
  EXPECT_EQ(r.grade_data_sha256, "ab");
  EXPECT_EQ(r.program_version, ProgramVersionText());
  EXPECT_EQ(r.measurement_sha256.size(), 64u);
  EXPECT_EQ(r.graded_at.size(), 24u);
  EXPECT_EQ(r.measurement, "{\"STONE_ID\":\"S\xC3\xA9\",\"X\":\"\"}");
  r.stone_id = "S\xE9";
  r.messages = {"m1", std::string("m\0"
                                  "2",
                                  3)};
  r.overall_class = 5;
  r.recut_verdict = 1;
  const StoredRow row = EncodeRecord(r);
  EXPECT_EQ(row[kOverallClass], "5");
  EXPECT_EQ(row[kTableClass], std::nullopt);  // no cell read
  EXPECT_EQ(row[kMeasurement], "{\"STONE_ID\":\"S\xC3\xA9\",\"X\":\"\"}");
  EXPECT_EQ(DecodeRow(row), r);
  StoredRow damaged = row;
  damaged[kOverallClass] = "2x";
  EXPECT_FALSE(DecodeRow(damaged).has_value());
}

}  // namespace
}  // namespace krm::archive
