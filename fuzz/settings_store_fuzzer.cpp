// The settings store under hostile values: any registry type and any data (any size, odd
// lengths, missing or inner NULs), optionally changed by another program between two of the
// read's queries, through ReadRegistryString, ReadRegistryInteger and ReadRegistryBool. Each
// read must yield what the stored value says or the default, nothing else; it opens the key
// exactly once, closes it, and neither writes nor creates anything.
//
// Input, front to back (missing bytes read as 0 or empty):
//   type    1 byte   registry type of the stored value
//   flags   1 byte   bit 0 value absent, bit 1 key absent, bit 2 Use64BitView,
//                    bit 3 the value changes, bits 4-6 before which query (0 = the first),
//                    bit 7 the boolean default
//   choice  1 byte   the string default, one of kStringDefaults
//   default 4 bytes  the integer default, little-endian
//   length  2 bytes  little-endian, then that many bytes of data
//   type    1 byte   the changed value's type; 0xFF deletes the value instead
//   rest             the changed value's data
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/custom_registry.h"
#include "config/settings.h"
#include "config/stored_settings.h"
#include "fake/fake_registry.h"
#include "fake/forwarding.h"
#include "fuzz_support.h"

namespace calvera::fuzz {
namespace {

using fake::FakeRegistry;
using platform::RegistryRoot;

constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
constexpr char16_t kName[] = u"Setting";
const char16_t* const kStringDefaults[] = {u"english", u"", u"5", u"d\u00e9faut"};

// A value as it lies in the registry, or none.
struct Stored {
  bool present = false;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

void Store(FakeRegistry& registry, const std::u16string& key, const Stored& value) {
  if (value.present) {
    registry.SetRaw(kRoot, key, kName, value.type, value.data);
  } else {
    registry.DeleteValue(kRoot, key, kName);
  }
}

// Passes everything to the fake, and lets another program change the value just before the
// read's query number `changeAt` (counted from 0).
class ChangingRegistry : public fake::ForwardingRegistry {
 public:
  ChangingRegistry(FakeRegistry& inner, std::optional<int> changeAt, std::function<void()> change)
      : ForwardingRegistry(inner), changeAt_(changeAt), change_(std::move(change)) {}

  int Queries() const { return queries_; }
  bool Changed() const { return changeAt_ && queries_ > *changeAt_; }

  platform::ErrorCode QueryValue(platform::RegistryKeyHandle key,
                                 const char16_t* name,
                                 std::uint32_t* type,
                                 void* data,
                                 std::uint32_t* size) override {
    if (changeAt_ && queries_ == *changeAt_) {
      change_();
    }
    ++queries_;
    return ForwardingRegistry::QueryValue(key, name, type, data, size);
  }

 private:
  std::optional<int> changeAt_;
  std::function<void()> change_;
  int queries_ = 0;
};

struct Case {
  Stored before;
  Stored after;
  std::optional<int> changeAt;
  bool keyAbsent = false;
  bool use64BitView = false;
  std::u16string stringDefault;
  std::int32_t integerDefault = 0;
  bool boolDefault = false;

  // The value that the read's query number `query` sees.
  const Stored& At(int query) const { return changeAt && query >= *changeAt ? after : before; }
};

// A REG_DWORD of at most 4 bytes: those bytes, zero-padded, as a signed number.
std::optional<std::int32_t> Integer(const Stored& value) {
  if (!value.present || value.type != platform::kRegDword || value.data.size() > 4) {
    return std::nullopt;
  }
  std::uint32_t bits = 0;
  for (std::size_t i = value.data.size(); i > 0; --i) {
    bits = (bits << 8) | value.data[i - 1];
  }
  return static_cast<std::int32_t>(bits);
}

// One reading of a string: the size asked for without a buffer, then the data fetched into a
// buffer of that size. A failed reading makes the read's result the default; an empty text is
// also what a value without data reads as.
struct Reading {
  bool failed = false;
  std::u16string text;
};

Reading ReadingOf(const Stored& sized, const Stored& fetched) {
  if (!sized.present || sized.data.empty()) {
    return {};
  }
  if (!fetched.present || fetched.data.size() > sized.data.size() ||
      (fetched.type != platform::kRegSz && fetched.type != platform::kRegExpandSz)) {
    return {true, {}};
  }
  // Whole code units up to the first NUL.
  std::u16string text;
  for (std::size_t i = 0; i + 1 < fetched.data.size(); i += 2) {
    const auto unit = static_cast<char16_t>(fetched.data[i] | fetched.data[i + 1] << 8);
    if (unit == u'\0') {
      break;
    }
    text.push_back(unit);
  }
  return {false, text};
}

std::u16string ExpectedString(const Case& c) {
  if (c.keyAbsent) {
    return c.stringDefault;
  }
  const Reading first = ReadingOf(c.At(0), c.At(1));
  if (first.failed || first.text.empty()) {
    return c.stringDefault;
  }
  // The second reading is the result, even when it finds the value gone by then.
  const Reading second = ReadingOf(c.At(2), c.At(3));
  return second.failed ? c.stringDefault : second.text;
}

std::string Describe(const Case& c) {
  const auto show = [](const Stored& value) {
    std::string text = value.present ? "type " + std::to_string(value.type) + ", " +
                                           std::to_string(value.data.size()) + " bytes:"
                                     : "absent";
    for (const auto byte : value.data) {
      text += " " + std::to_string(byte);
    }
    return text;
  };
  std::string text = "stored " + show(c.before);
  if (c.changeAt) {
    text += "; before query " + std::to_string(*c.changeAt) + " becomes " + show(c.after);
  }
  return text + (c.keyAbsent ? "; key absent" : "") +
         (c.use64BitView ? "; 64-bit view" : "; default view");
}

// One read on a registry of its own: checks what every read must leave behind, and hands the
// result to `check`.
template <typename Read>
void OneRead(const Case& c, Read read) {
  FakeRegistry registry;
  const std::u16string key = config::StoredSettingsPath(c.use64BitView);
  if (!c.keyAbsent) {
    registry.SetRaw(kRoot, key, u"Other", platform::kRegDword, {1, 0, 0, 0});
    Store(registry, key, c.before);
  }
  ChangingRegistry changing(registry, c.keyAbsent ? std::nullopt : c.changeAt,
                            [&] { Store(registry, key, c.after); });
  read(changing);

  const std::string what = Describe(c);
  CALVERA_FUZZ_CHECK(registry.OpenHandleCount() == 0, what);
  CALVERA_FUZZ_CHECK(registry.SetValueCount() == 0, what);
  const auto openings = registry.Openings();
  CALVERA_FUZZ_CHECK(openings.size() == 1, what);
  CALVERA_FUZZ_CHECK(openings[0].call == FakeRegistry::Call::kOpenKey, what);
  CALVERA_FUZZ_CHECK(openings[0].access == config::RegistryAccessRights(config::AccessKind::kRead,
                                                                        c.use64BitView, true),
                     what);
  if (c.keyAbsent) {
    CALVERA_FUZZ_CHECK(!registry.KeyExists(kRoot, key), what);
    CALVERA_FUZZ_CHECK(changing.Queries() == 0, what);
    return;
  }
  // The read leaves the value as the last writer stored it.
  const Stored& last = changing.Changed() ? c.after : c.before;
  const auto now = registry.GetValue(kRoot, key, kName);
  CALVERA_FUZZ_CHECK(now.has_value() == last.present, what);
  if (now) {
    CALVERA_FUZZ_CHECK(now->type == last.type && now->data == last.data, what);
  }
}

Case Decode(const std::uint8_t* data, std::size_t size) {
  InputReader input(data, size);
  Case c;
  c.before.type = input.Byte();
  const std::uint8_t flags = input.Byte();
  c.before.present = (flags & 0x01) == 0;
  c.keyAbsent = (flags & 0x02) != 0;
  c.use64BitView = (flags & 0x04) != 0;
  if ((flags & 0x08) != 0) {
    c.changeAt = (flags >> 4) & 0x07;
  }
  c.boolDefault = (flags & 0x80) != 0;
  c.stringDefault = kStringDefaults[input.Byte() % std::size(kStringDefaults)];
  c.integerDefault = static_cast<std::int32_t>(input.Uint32());
  const auto before = input.Take(input.Uint16());
  c.before.data.assign(before.begin(), before.end());
  const std::uint8_t afterType = input.Byte();
  c.after.present = afterType != 0xFF;
  c.after.type = afterType;
  const auto after = input.Rest();
  c.after.data.assign(after.begin(), after.end());
  return c;
}

}  // namespace
}  // namespace calvera::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace calvera;
  using namespace calvera::fuzz;
  const Case c = Decode(data, size);
  const std::string what = Describe(c);

  OneRead(c, [&](platform::Registry& registry) {
    const std::u16string text = config::ReadRegistryString(
        registry, kRoot, config::kSettingsKeyPath, kName, c.stringDefault, c.use64BitView);
    const std::u16string expected = ExpectedString(c);
    CALVERA_FUZZ_CHECK(text == expected,
                       what + "\nread " + Show(text) + "\nexpected " + Show(expected));
  });

  // The integer and boolean reads make one query.
  const std::optional<std::int32_t> stored = c.keyAbsent ? std::nullopt : Integer(c.At(0));
  OneRead(c, [&](platform::Registry& registry) {
    const std::int32_t value = config::ReadRegistryInteger(
        registry, kRoot, config::kSettingsKeyPath, kName, c.integerDefault, c.use64BitView);
    const std::int32_t expected = stored.value_or(c.integerDefault);
    CALVERA_FUZZ_CHECK(value == expected, what + "\nread " + std::to_string(value) + ", expected " +
                                              std::to_string(expected));
  });
  OneRead(c, [&](platform::Registry& registry) {
    const bool value = config::ReadRegistryBool(registry, kRoot, config::kSettingsKeyPath, kName,
                                                c.boolDefault, c.use64BitView);
    const bool expected = stored ? *stored != 0 : c.boolDefault;
    CALVERA_FUZZ_CHECK(value == expected, what + "\nread " + std::to_string(value) + ", expected " +
                                              std::to_string(expected));
  });
  return 0;
}
