#include "fake/fake_resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/text.h"

namespace calvera::fake {

namespace {

std::u16string Upper(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return upper;
}

// 0x80..0x9F of Windows-1252; the five bytes it leaves undefined map to the same code point,
// as MultiByteToWideChar does. 0xA0..0xFF are Latin-1.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// 0x80..0xBF of Windows-1251; 0xC0..0xFF are U+0410..U+044F.
constexpr char16_t kWindows1251[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t Windows1252(std::uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : char16_t{byte};
}

char16_t Windows1251(std::uint8_t byte) {
  if (byte < 0x80) {
    return byte;
  }
  return byte < 0xC0 ? kWindows1251[byte - 0x80] : static_cast<char16_t>(0x0410 + byte - 0xC0);
}

// The tables as the executable embeds them. Under Wine the source tree's absolute Unix path
// is reached through drive Z:.
std::map<std::u16string, std::vector<std::byte>> ReadCaptionTables() {
  std::string folder = CALVERA_SOURCE_DIR "/src/config/caption_tables/";
#ifdef _WIN32
  if (folder.front() == '/') {
    folder.insert(0, "Z:");
  }
#endif
  std::map<std::u16string, std::vector<std::byte>> tables;
  for (const char* language : {"english", "french", "korean", "prtbrzl", "russian"}) {
    std::ifstream file(folder + language + ".txt", std::ios::binary);
    if (!file) {
      continue;  // the caption tests then find the table missing
    }
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
    tables[Upper(FromAscii(language))] = std::vector<std::byte>(data, data + bytes.size());
  }
  return tables;
}

}  // namespace

FakeResources::FakeResources() {
  static const auto* const kCaptionTables =
      new std::map<std::u16string, std::vector<std::byte>>(ReadCaptionTables());
  rcData_ = *kCaptionTables;
}

std::optional<std::span<const std::byte>> FakeResources::FindRcData(const char16_t* name) {
  const auto found = rcData_.find(Upper(name == nullptr ? u"" : name));
  if (found == rcData_.end() || failures_[Call::kFindResource] || failures_[Call::kLoadResource] ||
      failures_[Call::kLockResource]) {
    return std::nullopt;
  }
  if (failures_[Call::kSizeofResource]) {
    return std::span<const std::byte>();
  }
  return std::span<const std::byte>(found->second);
}

std::u16string FakeResources::DecodeAnsi(std::span<const std::byte> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (const std::byte byte : bytes) {
    const auto value = std::to_integer<std::uint8_t>(byte);
    text.push_back(codePage_ == 1251 ? Windows1251(value) : Windows1252(value));
  }
  return text;
}

void FakeResources::SetRcData(std::u16string_view name, std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  rcData_[Upper(name)] = std::vector<std::byte>(data, data + bytes.size());
}

void FakeResources::RemoveRcData(std::u16string_view name) {
  rcData_.erase(Upper(name));
}

void FakeResources::FailCall(Call call, bool fails) {
  failures_[call] = fails;
}

void FakeResources::SetAnsiCodePage(std::uint32_t codePage) {
  EXPECT_TRUE(codePage == 1252 || codePage == 1251) << "code page " << codePage;
  codePage_ = codePage;
}

}  // namespace calvera::fake
