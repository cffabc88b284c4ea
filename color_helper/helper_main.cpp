#include "color_helper/helper_main.h"

#include <algorithm>
#include <exception>

#include "color_helper/color_error.h"
#include "color_helper/dispatcher.h"
#include "color_helper/messages.h"
#include "color_helper/protocol.h"

namespace trovemark::color {

namespace {

std::string respond(std::span<const std::string> args, ax::Accessibility& ax, ax::Clock& clock,
                    const messages::PlatformMessages& platform) {
  if (args.size() != 1) throw ColorError(std::string(messages::kRequiresOneRequest));
  return encodeResponse(run(ax, clock, decodeRequest(args.front()), platform));
}

// Callers read one line; a message must never spill onto a second.
std::string oneLine(std::string message) {
  std::replace(message.begin(), message.end(), '\n', ' ');
  std::replace(message.begin(), message.end(), '\r', ' ');
  return message;
}

}  // namespace

int helperMain(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               ax::Accessibility& ax, ax::Clock& clock,
               const messages::PlatformMessages& platform) {
  std::string failure;
  try {
    const std::string response = respond(args, ax, clock, platform);
    out << response << '\n' << std::flush;
    // A response that never reached the caller is not a success.
    if (out) return 0;
    failure = messages::kResponseNotWritten;
  } catch (const ColorError& error) {
    failure = error.message();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  err << oneLine(std::move(failure)) << '\n' << std::flush;
  return 1;
}

}  // namespace trovemark::color
