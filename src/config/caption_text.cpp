#include "config/caption_text.h"

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "platform/text.h"

namespace calvera::config {

namespace {

bool StartsWith(std::span<const std::byte> bytes, std::initializer_list<std::uint8_t> mark) {
  if (bytes.size() < mark.size()) {
    return false;
  }
  std::size_t i = 0;
  for (const std::uint8_t expected : mark) {
    if (std::to_integer<std::uint8_t>(bytes[i++]) != expected) {
      return false;
    }
  }
  return true;
}

std::u16string DecodeUtf16(std::span<const std::byte> bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const auto first = std::to_integer<std::uint16_t>(bytes[i]);
    const auto second = std::to_integer<std::uint16_t>(bytes[i + 1]);
    text.push_back(
        static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  if (i < bytes.size()) {
    text.push_back(u'\xFFFD');  // half a code unit
  }
  return text;
}

bool IsBlank(char16_t c) {
  return c >= 0x0001 && c <= 0x0020;
}

}  // namespace

std::u16string DecodeCaptionTable(std::span<const std::byte> bytes, const AnsiDecoder& decodeAnsi) {
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) {
    const auto text = bytes.subspan(3);
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  }
  if (StartsWith(bytes, {0xFF, 0xFE})) {
    return DecodeUtf16(bytes.subspan(2), false);
  }
  if (StartsWith(bytes, {0xFE, 0xFF})) {
    return DecodeUtf16(bytes.subspan(2), true);
  }
  return decodeAnsi(bytes);
}

std::vector<std::u16string_view> SplitCaptionLines(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') {
      ++end;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') {
      ++start;
    }
  }
  return lines;
}

std::vector<std::u16string> SplitCaptionFields(std::u16string_view line) {
  std::vector<std::u16string> fields;
  std::size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < line.size() && IsBlank(line[pos])) {
      ++pos;
    }
  };
  skipBlanks();
  while (pos < line.size()) {
    std::u16string field;
    if (line[pos] == u'"') {
      ++pos;
      while (pos < line.size()) {
        if (line[pos] != u'"') {
          field.push_back(line[pos++]);
        } else if (pos + 1 < line.size() && line[pos + 1] == u'"') {
          field.push_back(u'"');
          pos += 2;
        } else {
          ++pos;  // the closing quote
          break;
        }
      }
    } else {
      const std::size_t start = pos;
      while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != u',') {
        ++pos;
      }
      field.assign(line.substr(start, pos - start));
    }
    fields.push_back(std::move(field));
    skipBlanks();
    if (pos < line.size() && line[pos] == u',') {
      if (pos + 1 == line.size()) {
        fields.emplace_back();
      }
      ++pos;
      skipBlanks();
    }
  }
  return fields;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
  }
  return lower;
}

std::u16string FindCaption(std::u16string_view tableText,
                           std::u16string_view formName,
                           std::u16string_view controlName) {
  std::u16string caption;
  for (const std::u16string_view line : SplitCaptionLines(tableText)) {
    if (line.empty()) {
      continue;
    }
    std::vector<std::u16string> fields = SplitCaptionFields(line);
    if (fields.empty()) {
      break;
    }
    if (!EqualIgnoringAsciiCase(fields[0], formName)) {
      continue;
    }
    if (fields.size() < 2) {
      break;
    }
    if (!EqualIgnoringAsciiCase(fields[1], controlName)) {
      continue;
    }
    if (fields.size() < 3) {
      break;
    }
    caption = std::move(fields[2]);
  }
  return caption;
}

}  // namespace calvera::config
