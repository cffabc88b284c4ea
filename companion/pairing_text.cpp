#include "companion/pairing_text.h"

#include <cstdint>
#include <optional>

namespace trovemark::companion {
namespace {

// Decodes the code point at `pos` of valid UTF-8 and advances `pos`.
char32_t decodeAt(std::string_view text, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  char32_t cp = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; ++i) cp = (cp << 6) | (byte(pos + i) & 0x3F);
  pos += length;
  return cp;
}

bool isTrimmed(char32_t cp) {
  switch (cp) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:  // tab and line breaks
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x202F:
    case 0x205F:
    case 0x3000:
    case 0x2028:
    case 0x2029:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

// Characters that never begin a user-perceived character of their own.
bool extendsPrevious(char32_t cp) {
  struct Range {
    char32_t first, last;
  };
  // Combining marks of the common scripts, joiners, variation selectors, emoji
  // modifiers and tags. A close approximation: the companion counts only the
  // fingerprint, which is hexadecimal in practice.
  static constexpr Range kRanges[] = {
      {0x0300, 0x036F},   {0x0483, 0x0489},   {0x0591, 0x05BD}, {0x05BF, 0x05BF},
      {0x05C1, 0x05C2},   {0x05C4, 0x05C5},   {0x05C7, 0x05C7}, {0x0610, 0x061A},
      {0x064B, 0x065F},   {0x0670, 0x0670},   {0x06D6, 0x06DC}, {0x06DF, 0x06E4},
      {0x06E7, 0x06E8},   {0x06EA, 0x06ED},   {0x0900, 0x0903}, {0x093A, 0x094F},
      {0x0951, 0x0957},   {0x0962, 0x0963},   {0x0981, 0x0983}, {0x09BC, 0x09D7},
      {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},   {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF},
      {0x1DC0, 0x1DFF},   {0x200C, 0x200D},   {0x20D0, 0x20FF}, {0x302A, 0x302F},
      {0x3099, 0x309A},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F}, {0x1F3FB, 0x1F3FF},
      {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
  };
  for (const Range& r : kRanges) {
    if (cp >= r.first && cp <= r.last) return true;
  }
  return false;
}

bool isRegionalIndicator(char32_t cp) { return cp >= 0x1F1E6 && cp <= 0x1F1FF; }

}  // namespace

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int length;
    char32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, min = 0x10000;
    } else {
      return false;
    }
    if (n - i < static_cast<std::size_t>(length)) return false;
    char32_t cp = lead & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string trimWhitespace(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  // Leading: decode forward.
  while (begin < end) {
    std::size_t next = begin;
    if (!isTrimmed(decodeAt(text, next))) break;
    begin = next;
  }
  // Trailing: step back to each code point's lead byte.
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    std::size_t probe = start;
    if (!isTrimmed(decodeAt(text, probe))) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  std::size_t pos = 0;
  std::optional<char32_t> previous;
  bool pendingRegionalPair = false;
  while (pos < text.size()) {
    const char32_t cp = decodeAt(text, pos);
    bool joins = false;
    if (previous) {
      if (*previous == 0x0D && cp == 0x0A) {
        joins = true;  // CR LF is one line break
      } else if (*previous == 0x200D) {
        joins = true;  // the character after a zero-width joiner
      } else if (extendsPrevious(cp)) {
        joins = true;
      } else if (isRegionalIndicator(cp) && pendingRegionalPair) {
        joins = true;  // two regional indicators make one flag
      }
    }
    pendingRegionalPair = isRegionalIndicator(cp) && !(joins && isRegionalIndicator(*previous));
    if (!joins) ++count;
    previous = cp;
  }
  return count;
}

std::string percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                            (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~';
    if (unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

std::string composePairingLink(std::string_view host, std::string_view token,
                               std::string_view fingerprint) {
  return "zelvan://pair?host=" + percentEncode(host) + "&token=" + percentEncode(token) +
         "&fingerprint=" + percentEncode(fingerprint);
}

}  // namespace trovemark::companion
