#include "color_helper/protocol.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

namespace trovemark::color {

namespace {

using nlohmann::json;

// The library's message as a plain sentence: without the bracketed code it
// puts first ("[json.exception.parse_error.101] "), which means nothing to
// the person reading it.
std::string plainSentence(const nlohmann::json::exception& error) {
  std::string_view message = error.what();
  if (message.starts_with("[json.exception.")) {
    const auto end = message.find("] ");
    if (end != std::string_view::npos) message.remove_prefix(end + 2);
  }
  return std::string(message);
}

[[noreturn]] void badKey(std::string_view key, std::string_view expectation) {
  throw ProtocolError("Request key \"" + std::string(key) + "\" must be " +
                      std::string(expectation));
}

// A present, non-null member, or null when the key is missing or null.
const json* member(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return nullptr;
  return &*it;
}

std::string requiredString(const json& object, const char* key) {
  const json* value = member(object, key);
  if (!value) throw ProtocolError("Request is missing the key \"" + std::string(key) + "\"");
  if (!value->is_string()) badKey(key, "a string");
  return value->get<std::string>();
}

// An integer request value: by the time it is looked at, every number token
// that denotes an integer within 64 bits has been read as an integer.
std::int64_t integer(const json& value, const char* key) {
  if (value.is_number_integer()) {
    if (!value.is_number_unsigned()) return value.get<std::int64_t>();
    const auto unsignedValue = value.get<std::uint64_t>();
    if (unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(unsignedValue);
    }
  }
  badKey(key, "an integer that fits in 64 bits");
}

// The integer a JSON number token denotes, when it denotes one within 64
// bits, however it is written: 1000, 1e3, 1000.0 and 10000e-1 all read 1000.
// Worked out on the token's digits, since a double cannot tell 2^63 from
// 2^63 + 1.
std::optional<std::int64_t> integralToken(std::string_view token) {
  const bool negative = !token.empty() && token.front() == '-';
  if (negative) token.remove_prefix(1);
  const auto exponentAt = token.find_first_of("eE");
  const std::string_view mantissa = token.substr(0, exponentAt);
  long long exponent = 0;
  bool hugeExponent = false;
  if (exponentAt != std::string_view::npos) {
    std::string_view exponentText = token.substr(exponentAt + 1);
    if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
    const auto [stop, error] =
        std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    // No request is long enough for a mantissa to make up for an exponent
    // this large either way; keeping it small also keeps the sums below in range.
    constexpr long long kLargestUsefulExponent = 1'000'000;
    hugeExponent = error != std::errc() || stop != exponentText.data() + exponentText.size() ||
                   exponent > kLargestUsefulExponent || exponent < -kLargestUsefulExponent;
    if (hugeExponent) exponent = 0;
  }
  const auto point = mantissa.find('.');
  std::string digits(mantissa.substr(0, point));
  if (point != std::string_view::npos) {
    const std::string_view fraction = mantissa.substr(point + 1);
    digits += fraction;
    exponent -= static_cast<long long>(fraction.size());
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty()) return 0;
  if (hugeExponent) return std::nullopt;
  while (digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  constexpr long long kMaxDigits = 19;
  if (exponent < 0 || static_cast<long long>(digits.size()) + exponent > kMaxDigits) {
    return std::nullopt;
  }
  std::string text = (negative ? "-" : "") + digits + std::string(exponent, '0');
  std::int64_t value = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
  return value;
}

// Builds the document through the library's public SAX interface, as its own
// builder would, except that a number written with a fraction or an exponent
// that denotes an integer is stored as that integer. A later duplicate key
// replaces the earlier value, as in the library's own documents.
class RequestBuilder final : public nlohmann::json_sax<json> {
 public:
  explicit RequestBuilder(json& root) : root_(root) {}

  bool null() override { return put(nullptr); }
  bool boolean(bool value) override { return put(value); }
  bool number_integer(number_integer_t value) override { return put(value); }
  bool number_unsigned(number_unsigned_t value) override { return put(value); }
  bool number_float(number_float_t value, const string_t& token) override {
    if (auto integer = integralToken(token)) return put(*integer);
    return put(value);
  }
  bool string(string_t& value) override { return put(std::move(value)); }
  bool binary(binary_t& value) override { return put(json::binary(std::move(value))); }
  bool start_object(std::size_t) override { return open(json::object()); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(json::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&, const json::exception& error) override {
    throw error;
  }

 private:
  // Where the next value goes: the root, the end of the open array, or the
  // open object under the last key.
  json& slot() {
    if (open_.empty()) return root_;
    json& container = *open_.back();
    if (container.is_array()) return container.emplace_back();
    return container[key_];
  }
  bool put(json value) {
    slot() = std::move(value);
    return true;
  }
  bool open(json container) {
    json& placed = slot();
    placed = std::move(container);
    open_.push_back(&placed);
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  json& root_;
  std::vector<json*> open_;
  string_t key_;
};

std::map<std::string, double> changes(const json& value) {
  constexpr const char* kExpectation = "an object whose values are numbers";
  if (!value.is_object()) badKey("changes", kExpectation);
  std::map<std::string, double> result;
  for (const auto& [key, change] : value.items()) {
    if (!change.is_number()) badKey("changes", kExpectation);
    result.emplace(key, change.get<double>());
  }
  return result;
}

}  // namespace

Request decodeRequest(std::string_view text) {
  json document;
  try {
    RequestBuilder builder(document);
    json::sax_parse(text, &builder);
  } catch (const json::exception& error) {
    throw ProtocolError(plainSentence(error));
  }
  if (!document.is_object()) throw ProtocolError("Request must be a JSON object");

  Request request;
  request.action = requiredString(document, "action");
  request.section = requiredString(document, "section");
  if (const json* mode = member(document, "mode")) {
    if (!mode->is_string()) badKey("mode", "a string");
    request.mode = mode->get<std::string>();
  }
  if (const json* index = member(document, "index")) request.index = integer(*index, "index");
  if (const json* changeMap = member(document, "changes")) request.changes = changes(*changeMap);
  return request;
}

std::string encodeResponse(const Response& response) {
  auto checked = [](double value) {
    // The JSON writer would print null here; a response must not lie.
    if (!std::isfinite(value)) {
      throw ProtocolError("Response holds a number JSON cannot represent (infinity or NaN)");
    }
    return value;
  };
  nlohmann::ordered_json values = nlohmann::ordered_json::array();
  for (double value : response.values) values.push_back(checked(value));
  nlohmann::ordered_json display = nlohmann::ordered_json::array();
  for (const auto& row : response.display) {
    nlohmann::ordered_json encodedRow = nlohmann::ordered_json::array();
    for (double value : row) encodedRow.push_back(checked(value));
    display.push_back(std::move(encodedRow));
  }
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  object["section"] = response.section;
  object["values"] = std::move(values);
  object["display"] = std::move(display);
  try {
    return object.dump();
  } catch (const nlohmann::ordered_json::exception& error) {
    throw ProtocolError(plainSentence(error));
  }
}

}  // namespace trovemark::color
