#include "companion/image_names.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace calvera::companion {
namespace {

TEST(ImageNamesTest, NamesMatchWithoutRegardToCaseAndWithOrWithoutExe) {
  struct Case {
    std::u16string_view a;
    std::u16string_view b;
    bool same;
  } cases[] = {
      {u"chrome.exe", u"CHROME.EXE", true},
      {u"chrome", u"Chrome.exe", true},
      {u"chrome.exe", u"chrome", true},
      {u"Registry", u"registry", true},
      {u"chrome.exe", u"chrome.ex", false},
      {u"chrome.exe", u"chrome.exe.exe", false},
      {u".exe", u".EXE", true},  // a name that is only the extension keeps it
      {u".exe", u"", false},
      {u"", u"", true},
      {u"Блокнот.exe", u"БЛОКНОТ.EXE", true},  // Cyrillic
      {u"Ёлка", u"ёлка", true},                // Cyrillic beyond the basic block
      {u"Éditeur.exe", u"éditeur.exe", true},  // Latin-1
      {u"Łódź.exe", u"łÓDŹ.EXE", true},        // Latin Extended-A, both runs
      {u"Ωμέγα", u"ωΜΈΓΑ", true},              // Greek with a tonos
      {u"Σίσυφος", u"σίσυφος", true},
      {u"straße", u"STRASSE", false},  // no folding that changes the length
      {u"a.exe", u"b.exe", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameImageName(c.a, c.b), c.same) << ToUtf8(c.a) << " / " << ToUtf8(c.b);
    EXPECT_EQ(SameImageName(c.b, c.a), c.same) << ToUtf8(c.b) << " / " << ToUtf8(c.a);
  }
}

TEST(ImageNamesTest, TheCriticalAndTheVirtualMachineListsAreRecognized) {
  for (const std::u16string_view name :
       {u"smss.exe", u"CSRSS.EXE", u"wininit.exe", u"winlogon.exe", u"services.exe", u"lsass.exe",
        u"LsaIso.exe", u"dwm.exe", u"audiodg.exe", u"fontdrvhost.exe", u"Registry",
        u"Memory Compression", u"MemCompression", u"Secure System"}) {
    EXPECT_TRUE(IsCriticalSystemProcess(name)) << ToUtf8(name);
    EXPECT_FALSE(IsVirtualMachineHost(name)) << ToUtf8(name);
  }
  for (const std::u16string_view name :
       {u"vmware-vmx.exe", u"VirtualBoxVM.exe", u"VBoxHeadless.exe", u"vmwp.exe", u"vmmem",
        u"vmmemWSL", u"qemu-system-x86_64.exe", u"QEMU.exe"}) {
    EXPECT_TRUE(IsVirtualMachineHost(name)) << ToUtf8(name);
    EXPECT_FALSE(IsCriticalSystemProcess(name)) << ToUtf8(name);
  }
  for (const std::u16string_view name :
       {u"explorer.exe", u"svchost.exe", u"chrome.exe", u"smss2.exe", u"vmware.exe", u"vm.exe"}) {
    EXPECT_FALSE(IsCriticalSystemProcess(name)) << ToUtf8(name);
    EXPECT_FALSE(IsVirtualMachineHost(name)) << ToUtf8(name);
  }
}

}  // namespace
}  // namespace calvera::companion
