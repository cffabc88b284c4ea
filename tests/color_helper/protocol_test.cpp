// The wire format where the request fuzzer's kept inputs do not reach: the
// integers an index may be written as, rejections as one line, and numbers a
// response cannot hold. That decoding agrees with the JSON library's reading
// and that a response reads back exactly are the fuzzer's to check.

#include "color_helper/protocol.h"

#include <gtest/gtest.h>

#include <limits>

namespace trovemark::color {
namespace {

Request decode(const std::string& text) { return decodeRequest(text); }

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
      R"({"section":"blur"})",
      R"({"action":null,"section":"blur"})",
      R"({"action":"status","section":1})",
      R"({"action":"status","section":"blur","mode":1})",
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
      EXPECT_EQ(message.find("json.exception"), std::string::npos) << message;
    }
  }
  // The library's own sentence, without its bracketed code.
  try {
    decode("hello");
    ADD_FAILURE() << "decoded: hello";
  } catch (const ProtocolError& error) {
    EXPECT_STREQ(error.what(),
                 "parse error at line 1, column 1: syntax error while parsing value - invalid "
                 "literal; last read: 'h'");
  }
}

TEST(EncodeResponseTest, FailsRatherThanWritingNullForNonFiniteNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(encodeResponse(Response{"blur", {1, nan}, {}}), ProtocolError);
  EXPECT_THROW(encodeResponse(Response{"blur", {}, {{-inf}}}), ProtocolError);
}

}  // namespace
}  // namespace trovemark::color
