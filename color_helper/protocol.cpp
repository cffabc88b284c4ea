#include "color_helper/protocol.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

namespace trovemark::color {

namespace {

using nlohmann::json;

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

// A JSON number that denotes an integer within 64 bits. Integral numbers
// written with a fraction or an exponent (1e3, 2.0) denote integers too.
std::int64_t integer(const json& value, const char* key) {
  constexpr const char* kExpectation = "an integer that fits in 64 bits";
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    return value.get<std::int64_t>();
  }
  if (value.is_number_unsigned()) {
    const auto unsignedValue = value.get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      badKey(key, kExpectation);
    }
    return static_cast<std::int64_t>(unsignedValue);
  }
  if (value.is_number_float()) {
    const double d = value.get<double>();
    // 2^63 is the first double beyond the range; -2^63 is the last inside.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isfinite(d) && std::trunc(d) == d && d >= -kLimit && d < kLimit) {
      return static_cast<std::int64_t>(d);
    }
  }
  badKey(key, kExpectation);
}

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
    document = json::parse(text);
  } catch (const json::exception& error) {
    throw ProtocolError(error.what());
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
    throw ProtocolError(error.what());
  }
}

}  // namespace trovemark::color
