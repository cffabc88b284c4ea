// Fuzzes the Color helper's wire format: any bytes as the request's text, and
// responses holding any doubles.
//
// Decoding must give a request or a ProtocolError, never anything else, and
// must agree with the JSON library's own reading of the same text. Encoding
// must fail with a ProtocolError exactly when a number (or the section's text)
// cannot be written, and otherwise give text that reads back to the same
// response.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "color_helper/protocol.h"
#include "fuzz/bytes.h"
#include "fuzz/check.h"

namespace trovemark::fuzz {
namespace {

using color::ProtocolError;
using color::Request;
using color::Response;
using nlohmann::json;

// The library's reading of a number token that the request holds as an
// integer: the same value, whichever way the token was written.
bool sameNumber(const json& written, double decoded) { return written.get<double>() == decoded; }

void checkAgainstLibrary(std::string_view text, const Request& request) {
  const json document = json::parse(text, nullptr, false);
  check(!document.is_discarded(), "a request decoded from text that is not JSON");
  check(document.is_object(), "a request decoded from something other than an object");
  check(document.at("action") == request.action, "action differs from the text");
  check(document.at("section") == request.section, "section differs from the text");

  const auto member = [&](const char* key) -> const json* {
    const auto it = document.find(key);
    return it == document.end() || it->is_null() ? nullptr : &*it;
  };
  const json* mode = member("mode");
  check(mode ? request.mode && *mode == *request.mode : !request.mode, "mode differs");

  const json* index = member("index");
  check(index ? request.index.has_value() : !request.index, "index present differs");
  if (index) {
    // A token with a fraction or exponent may denote an integer; its double
    // must then be the integer's, as far as a double can tell.
    check(index->is_number(), "index decoded from a non-number");
    check(sameNumber(*index, static_cast<double>(*request.index)), "index value differs");
  }

  const json* changes = member("changes");
  check(changes ? request.changes.has_value() : !request.changes, "changes present differs");
  if (changes) {
    check(changes->size() == request.changes->size(), "changes count differs");
    for (const auto& [key, value] : changes->items()) {
      const auto it = request.changes->find(key);
      check(it != request.changes->end(), "a change key was lost");
      check(sameNumber(value, it->second), "a change value differs");
    }
  }
}

void fuzzDecoding(std::string_view text) {
  try {
    const Request request = color::decodeRequest(text);
    checkAgainstLibrary(text, request);
  } catch (const ProtocolError& error) {
    check(std::string_view(error.what()).size() > 0, "a decoding failure without a message");
    // A text the library reads as an object holding only the two required
    // strings must decode.
    const json document = json::parse(text, nullptr, false);
    if (document.is_object() && document.size() == 2 && document.contains("action") &&
        document.contains("section")) {
      check(!document["action"].is_string() || !document["section"].is_string(),
            std::string("a plain request was refused: ") + error.what());
    }
  }
}

bool writable(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

void fuzzEncoding(Bytes& bytes) {
  Response response;
  response.section = bytes.text(24);
  bool finite = true;
  const auto next = [&] {
    const double value = bytes.flag() ? bytes.anyDouble() : static_cast<double>(bytes.byte()) / 4;
    finite = finite && std::isfinite(value);
    return value;
  };
  for (std::uint32_t n = bytes.upTo(16); n > 0; --n) response.values.push_back(next());
  for (std::uint32_t rows = bytes.upTo(5); rows > 0; --rows) {
    response.display.emplace_back();
    for (std::uint32_t n = bytes.upTo(5); n > 0; --n) response.display.back().push_back(next());
  }

  std::string text;
  try {
    text = color::encodeResponse(response);
  } catch (const ProtocolError&) {
    check(!finite || !writable(response.section), "a writable response failed to encode");
    return;
  }
  check(finite, "a response with a NaN or an infinity was encoded");
  check(text.find('\n') == std::string::npos, "the response is more than one line");
  check(text.rfind("{\"section\":", 0) == 0, "\"section\" is not the first key");
  // The library compares numbers by value, whichever way a token was written.
  const json expected = {
      {"section", response.section}, {"values", response.values}, {"display", response.display}};
  check(json::parse(text, nullptr, false) == expected, "the response did not read back");
}

}  // namespace
}  // namespace trovemark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trovemark::fuzz;
  fuzzDecoding(std::string_view(reinterpret_cast<const char*>(data), size));
  Bytes bytes(data, size);
  fuzzEncoding(bytes);
  return 0;
}
