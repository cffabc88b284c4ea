#pragma once

// The Color helper's wire format: one JSON request in, one JSON response out.

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovemark::color {

// One request, as decoded from the command line.
struct Request {
  std::string action;
  std::string section;
  std::optional<std::string> mode;
  std::optional<std::int64_t> index;
  // Keyed by value position written as decimal text; keys are not checked here.
  std::optional<std::map<std::string, double>> changes;
};

// The answer to one request.
struct Response {
  std::string section;
  std::vector<double> values;
  std::vector<std::vector<double>> display;
};

// A request or response that the JSON codec cannot carry. Its message is one
// line describing what was wrong.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes the request text. Throws ProtocolError when the text is not JSON or
// does not have the request's shape.
Request decodeRequest(std::string_view text);

// Encodes the response as one compact JSON object with the keys "section",
// "values" and "display", in that order. Throws ProtocolError for a number
// JSON cannot represent (an infinity or a NaN).
std::string encodeResponse(const Response& response);

}  // namespace trovemark::color
