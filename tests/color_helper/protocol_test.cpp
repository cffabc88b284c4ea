// The wire format: what decodes into a Request and how a Response is written.

#include "color_helper/protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

namespace trovemark::color {
namespace {

Request decode(const std::string& text) { return decodeRequest(text); }

TEST(DecodeRequestTest, AcceptsTheFiveKeysAndIgnoresOthers) {
  const Request minimal = decode(R"({"action":"status","section":"blur"})");
  EXPECT_EQ(minimal.action, "status");
  EXPECT_EQ(minimal.section, "blur");
  EXPECT_FALSE(minimal.mode || minimal.index || minimal.changes);

  const Request nulls = decode(
      R"({"action":"a","section":"s","mode":null,"index":null,"changes":null,"Index":"x","extra":[1]})");
  EXPECT_FALSE(nulls.mode || nulls.index || nulls.changes);

  const Request full = decode(
      R"({"action":"nudge","section":"primaries","mode":"Blur","index":-1,"changes":{"3":1,"03":-2.5}})");
  EXPECT_EQ(full.mode, "Blur");
  EXPECT_EQ(full.index, -1);
  ASSERT_TRUE(full.changes);
  EXPECT_EQ(full.changes->size(), 2u);
  EXPECT_EQ(full.changes->at("3"), 1.0);
  EXPECT_EQ(full.changes->at("03"), -2.5);

  const Request empty = decode(R"({"action":"nudge","section":"blur","changes":{}})");
  ASSERT_TRUE(empty.changes);
  EXPECT_TRUE(empty.changes->empty());
}

TEST(DecodeRequestTest, IndexIsAnyJsonNumberDenotingA64BitInteger) {
  const std::pair<const char*, std::int64_t> accepted[] = {
      {"1e3", 1000},
      {"2.0", 2},
      {"1.5e1", 15},
      {"-0", 0},
      {"0e99999999999999999999", 0},
      {"9223372036854775807.0", std::numeric_limits<std::int64_t>::max()},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& [text, value] : accepted) {
    const auto request =
        decode(std::string(R"({"action":"reset","section":"blur","index":)") + text + "}");
    EXPECT_EQ(request.index, value) << text;
  }
}

TEST(DecodeRequestTest, RejectsWhatIsNotARequestWithOneLine) {
  const char* rejected[] = {
      "",
      "nope",
      R"([{"action":"status","section":"blur"}])",
      R"({"action":"status"})",
      R"({"section":"blur"})",
      R"({"action":null,"section":"blur"})",
      R"({"action":"status","section":1})",
      R"({"action":"status","section":"blur","mode":1})",
      R"({"action":"reset","section":"blur","index":2.5})",
      R"({"action":"reset","section":"blur","index":"2"})",
      R"({"action":"reset","section":"blur","index":9223372036854775808})",
      R"({"action":"reset","section":"blur","index":-9223372036854775809})",
      R"({"action":"reset","section":"blur","index":9.223372036854775808e18})",
      R"({"action":"reset","section":"blur","index":1.00000000000000001})",
      R"({"action":"reset","section":"blur","index":1.5e-9223372036854775808})",
      R"({"action":"nudge","section":"blur","changes":[1]})",
      R"({"action":"nudge","section":"blur","changes":{"1":null}})",
      R"({"action":"nudge","section":"blur","changes":{"1":1e400}})",
      "{\"action\":\"status\",\n\"section\":\"bl\xff\"}",
  };
  for (const char* text : rejected) {
    try {
      decode(text);
      ADD_FAILURE() << "decoded: " << text;
    } catch (const ProtocolError& error) {
      const std::string message = error.what();
      EXPECT_FALSE(message.empty()) << text;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

TEST(EncodeResponseTest, WritesOneCompactObjectInKeyOrderThatReadsBackExactly) {
  const double awkward[] = {0.1, 1.0 / 3, 5e-324, 1.7976931348623157e308, -0.0, 1e21, 700};
  Response response{"primaries", {std::begin(awkward), std::end(awkward)}, {{0.25, -3}, {}}};
  const std::string text = encodeResponse(response);

  EXPECT_EQ(text.find_first_of(" \n"), std::string::npos) << text;
  EXPECT_EQ(text.find(R"({"section":"primaries","values":[)"), 0u) << text;
  EXPECT_LT(text.find(R"("values")"), text.find(R"("display")"));

  const auto parsed = nlohmann::json::parse(text);
  const auto values = parsed.at("values").get<std::vector<double>>();
  ASSERT_EQ(values.size(), response.values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i], response.values[i]);
    EXPECT_EQ(std::signbit(values[i]), std::signbit(response.values[i]));
  }
  EXPECT_EQ(parsed.at("display"), nlohmann::json::parse("[[0.25,-3],[]]"));

  const std::string empty = encodeResponse(Response{"blur", {}, {}});
  EXPECT_EQ(nlohmann::json::parse(empty),
            nlohmann::json::parse(R"({"section":"blur","values":[],"display":[]})"));
}

TEST(EncodeResponseTest, FailsRatherThanWritingNullForNonFiniteNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(encodeResponse(Response{"blur", {1, nan}, {}}), ProtocolError);
  EXPECT_THROW(encodeResponse(Response{"blur", {}, {{-inf}}}), ProtocolError);
}

}  // namespace
}  // namespace trovemark::color
