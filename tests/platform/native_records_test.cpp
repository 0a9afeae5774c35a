#include "platform/native_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace calvera::platform {
namespace {

// Writes records at the offsets that the published layouts give, written out here on their own
// so that a wrong offset in the declarations shows.
struct Layout {
  PointerWidth width;
  std::size_t pointer;
  std::size_t recordSize;
  std::size_t nameBuffer;  // UNICODE_STRING.Buffer
  std::size_t processId;
  std::size_t parentId;
};
constexpr Layout k32{PointerWidth::k32Bit, 4, 0xB8, 0x3C, 0x44, 0x48};
constexpr Layout k64{PointerWidth::k64Bit, 8, 0x100, 0x40, 0x50, 0x58};

class Buffer {
 public:
  explicit Buffer(std::size_t size) : bytes_(size) {}
  template <typename T>
  void Put(std::size_t offset, T value) {
    std::memcpy(bytes_.data() + offset, &value, sizeof value);
  }
  void PutPointer(const Layout& layout, std::size_t offset, std::uint64_t value) {
    if (layout.pointer == 8)
      Put<std::uint64_t>(offset, value);
    else
      Put<std::uint32_t>(offset, static_cast<std::uint32_t>(value));
  }
  std::span<const std::byte> Bytes() const { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

constexpr std::uint64_t kAddress = 0x10000;

struct Process {
  std::uint32_t id;
  std::uint32_t parent;
  std::int64_t created;
  std::int64_t user;
  std::int64_t kernel;
  std::int64_t privateBytes;
  std::u16string name;
};

// The records one after another, each followed by room for threads and then its name.
Buffer Records(const Layout& layout, const std::vector<Process>& processes) {
  constexpr std::size_t kThreads = 48;
  const std::size_t stride = layout.recordSize + kThreads + 64;
  Buffer buffer(stride * processes.size());
  for (std::size_t i = 0; i < processes.size(); ++i) {
    const Process& p = processes[i];
    const std::size_t at = i * stride;
    buffer.Put<std::uint32_t>(at,
                              i + 1 < processes.size() ? static_cast<std::uint32_t>(stride) : 0);
    buffer.Put<std::int64_t>(at + 0x08, p.privateBytes);
    buffer.Put<std::int64_t>(at + 0x20, p.created);
    buffer.Put<std::int64_t>(at + 0x28, p.user);
    buffer.Put<std::int64_t>(at + 0x30, p.kernel);
    const std::size_t nameAt = at + layout.recordSize + kThreads;
    buffer.Put<std::uint16_t>(at + 0x38, static_cast<std::uint16_t>(p.name.size() * 2));
    buffer.Put<std::uint16_t>(at + 0x3A, static_cast<std::uint16_t>(p.name.size() * 2 + 2));
    buffer.PutPointer(layout, at + layout.nameBuffer, p.name.empty() ? 0 : kAddress + nameAt);
    for (std::size_t c = 0; c < p.name.size(); ++c)
      buffer.Put<char16_t>(nameAt + 2 * c, p.name[c]);
    buffer.PutPointer(layout, at + layout.processId, p.id);
    buffer.PutPointer(layout, at + layout.parentId, p.parent);
  }
  return buffer;
}

TEST(NativeRecordsTest, ProcessRecordsOfBothWidthsReadTheSame) {
  const std::vector<Process> processes = {
      {0, 0, 0, 0, 0, 0, u""},
      {4, 0, 1000, 0, 50, 0, u"System"},
      {1234, 800, 133'000'000'000'000'000, 7, 5, 300 << 20, u"Chrome.exe"},
  };
  for (const Layout& layout : {k32, k64}) {
    const Buffer buffer = Records(layout, processes);
    std::vector<ProcessRecord> parsed;
    ASSERT_TRUE(ParseProcessInformation(buffer.Bytes(), kAddress, layout.width, &parsed))
        << layout.recordSize;
    const std::vector<ProcessRecord> expected = {
        {0, 0, 0, 0, 0, u""},
        {4, 0, 1000, 50, 0, u"System"},
        {1234, 800, 133'000'000'000'000'000, 12, 300u << 20, u"Chrome.exe"},
    };
    EXPECT_EQ(parsed, expected) << layout.recordSize;
  }
}

TEST(NativeRecordsTest, AMalformedAnswerIsRefusedAndLeavesTheListAlone) {
  const std::vector<Process> one = {{8, 4, 1, 0, 0, 0, u"a.exe"}};
  struct Case {
    const char* what;
    void (*breakIt)(Buffer&, const Layout&, std::size_t size);
    bool cutShort;  // the buffer ends inside the record
  } cases[] = {
      {"name before the buffer",
       [](Buffer& b, const Layout& l, std::size_t) { b.PutPointer(l, l.nameBuffer, kAddress - 2); },
       false},
      {"name beyond the buffer",
       [](Buffer& b, const Layout& l, std::size_t size) {
         b.PutPointer(l, l.nameBuffer, kAddress + size - 2);
       },
       false},
      {"next record inside this one",
       [](Buffer& b, const Layout&, std::size_t) { b.Put<std::uint32_t>(0, 8); }, false},
      {"next record beyond the buffer",
       [](Buffer& b, const Layout&, std::size_t size) {
         b.Put<std::uint32_t>(0, static_cast<std::uint32_t>(size));
       },
       false},
      {"record cut short", [](Buffer&, const Layout&, std::size_t) {}, true},
  };
  for (const Layout& layout : {k32, k64}) {
    for (const Case& c : cases) {
      Buffer buffer = Records(layout, one);
      const std::size_t size = buffer.Bytes().size();
      c.breakIt(buffer, layout, size);
      auto bytes = buffer.Bytes();
      if (c.cutShort)
        bytes = bytes.first(layout.recordSize - 1);
      std::vector<ProcessRecord> parsed = {ProcessRecord{99, 0, 0, 0, 0, u"kept"}};
      EXPECT_FALSE(ParseProcessInformation(bytes, kAddress, layout.width, &parsed))
          << c.what << " " << layout.recordSize;
      ASSERT_EQ(parsed.size(), 1u) << c.what;
      EXPECT_EQ(parsed[0].imageName, u"kept") << c.what;
    }
  }
}

TEST(NativeRecordsTest, MemoryListRecordsOfBothWidthsGiveBytes) {
  for (const Layout& layout : {k32, k64}) {
    const std::uint32_t length = MemoryListInformationLength(layout.width);
    EXPECT_EQ(length, layout.pointer == 8 ? 176u : 88u);
    Buffer buffer(length);
    // Zero, free, modified, modified no-write, bad, standby 0-7, repurposed 0-7, modified for
    // the paging file: one pointer-sized count each, in that order.
    for (std::size_t field = 0; field < 22; ++field)
      buffer.PutPointer(layout, field * layout.pointer, field + 1);
    MemoryListSizes sizes;
    ASSERT_TRUE(ParseMemoryListInformation(buffer.Bytes(), layout.width, 4096, &sizes));
    EXPECT_EQ(sizes.zeroed, 1u * 4096);
    EXPECT_EQ(sizes.free, 2u * 4096);
    EXPECT_EQ(sizes.modified, 3u * 4096);
    EXPECT_EQ(sizes.modifiedNoWrite, 4u * 4096);
    EXPECT_EQ(sizes.bad, 5u * 4096);
    EXPECT_EQ(sizes.standbyByPriority[0], 6u * 4096);
    EXPECT_EQ(sizes.standbyByPriority[7], 13u * 4096);
    EXPECT_EQ(sizes.repurposedByPriority[0], 14u);  // a count of pages, not a size
    EXPECT_EQ(sizes.repurposedByPriority[7], 21u);
    EXPECT_EQ(sizes.modifiedPageFile, 22u * 4096);

    EXPECT_FALSE(
        ParseMemoryListInformation(buffer.Bytes().first(length - 1), layout.width, 4096, &sizes));
  }
}

}  // namespace
}  // namespace calvera::platform
