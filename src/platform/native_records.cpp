#include "platform/native_records.h"

#include <cstring>
#include <utility>

namespace calvera::platform {
namespace {

template <typename Record>
bool ReadRecord(std::span<const std::byte> buffer, std::size_t offset, Record* record) {
  if (offset > buffer.size() || buffer.size() - offset < sizeof(Record))
    return false;
  std::memcpy(record, buffer.data() + offset, sizeof(Record));
  return true;
}

template <typename Pointer>
bool ReadImageName(std::span<const std::byte> buffer,
                   std::uint64_t bufferAddress,
                   const NativeUnicodeString<Pointer>& name,
                   std::u16string* text) {
  text->clear();
  if (name.buffer == 0 || name.length == 0)
    return true;
  const std::uint64_t address = name.buffer;
  if (address < bufferAddress)
    return false;
  const std::uint64_t start = address - bufferAddress;
  const std::uint64_t bytes = name.length & ~std::uint64_t{1};
  if (start > buffer.size() || bytes > buffer.size() - start)
    return false;
  text->resize(static_cast<std::size_t>(bytes / sizeof(char16_t)));
  std::memcpy(text->data(), buffer.data() + start, static_cast<std::size_t>(bytes));
  return true;
}

template <typename Pointer>
bool ParseProcesses(std::span<const std::byte> buffer,
                    std::uint64_t bufferAddress,
                    std::vector<ProcessRecord>* processes) {
  using Record = NativeProcessInformation<Pointer>;
  std::vector<ProcessRecord> parsed;
  std::size_t offset = 0;
  for (;;) {
    Record record{};
    if (!ReadRecord(buffer, offset, &record))
      return false;
    ProcessRecord& process = parsed.emplace_back();
    process.processId = static_cast<std::uint32_t>(record.uniqueProcessId);
    process.parentProcessId = static_cast<std::uint32_t>(record.inheritedFromUniqueProcessId);
    process.creationTime = record.createTime;
    // Added without overflow whatever the record holds; real times are far from the limit.
    process.processorTime =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(record.userTime) +
                                  static_cast<std::uint64_t>(record.kernelTime));
    process.privateWorkingSetBytes = record.workingSetPrivateSize > 0
                                         ? static_cast<std::uint64_t>(record.workingSetPrivateSize)
                                         : 0;
    if (!ReadImageName(buffer, bufferAddress, record.imageName, &process.imageName))
      return false;
    if (record.nextEntryOffset == 0)
      break;
    // Every record is followed by its threads, so the next one starts beyond it.
    if (record.nextEntryOffset < sizeof(Record))
      return false;
    offset += record.nextEntryOffset;
  }
  *processes = std::move(parsed);
  return true;
}

template <typename Pointer>
bool ParseMemoryLists(std::span<const std::byte> buffer,
                      std::uint64_t pageSize,
                      MemoryListSizes* sizes) {
  NativeMemoryListInformation<Pointer> record{};
  if (!ReadRecord(buffer, 0, &record))
    return false;
  const auto bytes = [pageSize](Pointer pages) { return std::uint64_t{pages} * pageSize; };
  MemoryListSizes result;
  result.zeroed = bytes(record.zeroPageCount);
  result.free = bytes(record.freePageCount);
  result.modified = bytes(record.modifiedPageCount);
  result.modifiedNoWrite = bytes(record.modifiedNoWritePageCount);
  result.bad = bytes(record.badPageCount);
  for (std::size_t priority = 0; priority < result.standbyByPriority.size(); ++priority) {
    result.standbyByPriority[priority] = bytes(record.pageCountByPriority[priority]);
    result.repurposedByPriority[priority] = record.repurposedPagesByPriority[priority];
  }
  result.modifiedPageFile = bytes(record.modifiedPageCountPageFile);
  *sizes = result;
  return true;
}

}  // namespace

bool ParseProcessInformation(std::span<const std::byte> buffer,
                             std::uint64_t bufferAddress,
                             PointerWidth width,
                             std::vector<ProcessRecord>* processes) {
  return width == PointerWidth::k64Bit
             ? ParseProcesses<std::uint64_t>(buffer, bufferAddress, processes)
             : ParseProcesses<std::uint32_t>(buffer, bufferAddress, processes);
}

std::uint32_t MemoryListInformationLength(PointerWidth width) {
  return width == PointerWidth::k64Bit ? sizeof(NativeMemoryListInformation<std::uint64_t>)
                                       : sizeof(NativeMemoryListInformation<std::uint32_t>);
}

bool ParseMemoryListInformation(std::span<const std::byte> buffer,
                                PointerWidth width,
                                std::uint64_t pageSize,
                                MemoryListSizes* sizes) {
  return width == PointerWidth::k64Bit ? ParseMemoryLists<std::uint64_t>(buffer, pageSize, sizes)
                                       : ParseMemoryLists<std::uint32_t>(buffer, pageSize, sizes);
}

}  // namespace calvera::platform
