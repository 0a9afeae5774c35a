#include "companion/image_names.h"

#include <algorithm>

namespace calvera::companion {
namespace {

// Simple case folding to upper case for the alphabets that image names are written in; other
// characters match only themselves.
char16_t FoldCase(char16_t unit) {
  if (unit >= u'a' && unit <= u'z')
    return static_cast<char16_t>(unit - 0x20);
  if (unit < 0x80)
    return unit;
  if ((unit >= 0x00E0 && unit <= 0x00FE && unit != 0x00F7) ||  // Latin-1
      (unit >= 0x03B1 && unit <= 0x03CB && unit != 0x03C2) ||  // Greek
      (unit >= 0x0430 && unit <= 0x044F)) {                    // Cyrillic
    return static_cast<char16_t>(unit - 0x20);
  }
  if (unit == 0x00FF)
    return 0x0178;
  if (unit == 0x03C2)  // final sigma
    return 0x03A3;
  if (unit >= 0x0450 && unit <= 0x045F)
    return static_cast<char16_t>(unit - 0x50);
  // Greek letters with a tonos.
  if (unit == 0x03AC)
    return 0x0386;
  if (unit >= 0x03AD && unit <= 0x03AF)
    return static_cast<char16_t>(unit - 0x25);
  if (unit == 0x03CC)
    return 0x038C;
  if (unit == 0x03CD || unit == 0x03CE)
    return static_cast<char16_t>(unit - 0x3F);
  // Latin Extended-A: pairs of an upper and a lower case letter, the lower one odd except in
  // the runs from U+0139 to U+0148 and from U+0179 to U+017E.
  const bool lowerIsEven = (unit >= 0x0139 && unit <= 0x0148) || (unit >= 0x0179 && unit <= 0x017E);
  if (unit >= 0x0100 && unit <= 0x017F && unit != 0x0138 && unit != 0x0149 && unit != 0x017F) {
    const bool isLower = lowerIsEven ? unit % 2 == 0 : unit % 2 == 1;
    return isLower ? static_cast<char16_t>(unit - 1) : unit;
  }
  return unit;
}

bool EqualFolded(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

std::u16string_view WithoutExe(std::u16string_view name) {
  constexpr std::u16string_view kExe = u".exe";
  if (name.size() > kExe.size() && EqualFolded(name.substr(name.size() - kExe.size()), kExe))
    name.remove_suffix(kExe.size());
  return name;
}

bool StartsWithFolded(std::u16string_view name, std::u16string_view prefix) {
  return name.size() >= prefix.size() && EqualFolded(name.substr(0, prefix.size()), prefix);
}

constexpr std::u16string_view kCriticalSystemProcesses[] = {
    u"smss",           u"csrss",         u"wininit",  u"winlogon",
    u"services",       u"lsass",         u"lsaiso",   u"dwm",
    u"audiodg",        u"fontdrvhost",   u"Registry", u"Memory Compression",
    u"MemCompression", u"Secure System",
};

constexpr std::u16string_view kVirtualMachineHosts[] = {u"vmware-vmx", u"VirtualBoxVM",
                                                        u"VBoxHeadless", u"vmwp"};
constexpr std::u16string_view kVirtualMachineHostPrefixes[] = {u"vmmem", u"qemu"};

}  // namespace

bool SameImageName(std::u16string_view a, std::u16string_view b) {
  return EqualFolded(WithoutExe(a), WithoutExe(b));
}

bool IsCriticalSystemProcess(std::u16string_view imageName) {
  return std::any_of(
      std::begin(kCriticalSystemProcesses), std::end(kCriticalSystemProcesses),
      [imageName](std::u16string_view name) { return SameImageName(imageName, name); });
}

bool IsVirtualMachineHost(std::u16string_view imageName) {
  return std::any_of(
             std::begin(kVirtualMachineHosts), std::end(kVirtualMachineHosts),
             [imageName](std::u16string_view name) { return SameImageName(imageName, name); }) ||
         std::any_of(std::begin(kVirtualMachineHostPrefixes), std::end(kVirtualMachineHostPrefixes),
                     [imageName](std::u16string_view prefix) {
                       return StartsWithFolded(imageName, prefix);
                     });
}

}  // namespace calvera::companion
