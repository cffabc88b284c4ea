#include "companion/platform/desktop_entry_linux.h"

namespace trovemark::companion::desktop_entry {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool isReserved(char c) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  return kReserved.find(c) != std::string_view::npos;
}

}  // namespace

std::map<std::string, std::string> mainGroup(std::string_view text) {
  std::map<std::string, std::string> keys;
  bool inMain = false;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    keys.emplace(std::string(trim(line.substr(0, equals))),
                 std::string(trim(line.substr(equals + 1))));
  }
  return keys;
}

std::string escapeString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      // A leading space would be trimmed away by readers.
      case ' ':
        out += i == 0 ? "\\s" : " ";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::optional<std::string> unescapeString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out.push_back(value[i]);
      continue;
    }
    if (++i == value.size()) return std::nullopt;
    switch (value[i]) {
      case 's':
        out.push_back(' ');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '\\':
        out.push_back('\\');
        break;
      // Exec values carry their own backslash escapes inside quotes; leave
      // those for splitExec.
      case '"':
      case '`':
      case '$':
        out += '\\';
        out.push_back(value[i]);
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string quoteExecArgument(std::string_view argument) {
  bool quote = argument.empty();
  for (const char c : argument) quote = quote || isReserved(c);
  std::string out;
  if (quote) out.push_back('"');
  for (const char c : argument) {
    if (c == '%') {
      out += "%%";
    } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      out.push_back('\\');
      out.push_back(c);
    } else {
      out.push_back(c);
    }
  }
  if (quote) out.push_back('"');
  return out;
}

std::optional<std::vector<std::string>> splitExec(std::string_view value) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = value.size();
  while (true) {
    while (i < n && (value[i] == ' ' || value[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool fieldCodeOnly = false;
    if (value[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        const char c = value[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\') {
          if (i >= n) return std::nullopt;
          const char next = value[i++];
          if (next != '"' && next != '`' && next != '$' && next != '\\') return std::nullopt;
          arg.push_back(next);
        } else if (c == '%') {
          if (i < n && value[i] == '%') ++i;
          arg.push_back('%');
        } else {
          arg.push_back(c);
        }
      }
      if (!closed) return std::nullopt;
      if (i < n && value[i] != ' ' && value[i] != '\t') return std::nullopt;
    } else {
      while (i < n && value[i] != ' ' && value[i] != '\t') {
        const char c = value[i++];
        if (c == '%') {
          if (i < n && value[i] == '%') {
            ++i;
            arg.push_back('%');
          } else if (i < n) {
            ++i;  // a field code: the launcher's business, not an argument here
            fieldCodeOnly = arg.empty() && (i >= n || value[i] == ' ' || value[i] == '\t');
          }
        } else {
          arg.push_back(c);
        }
      }
    }
    if (!fieldCodeOnly) args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace trovemark::companion::desktop_entry
