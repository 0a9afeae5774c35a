// The executable's command-line switches: "INSTALL", "UNINSTALL", "SILENT" and "QUIET", each
// introduced by '-' or '/' and matched without regard to case. QUIET is for installers and
// scripts, where nobody can answer a box: an installation or removal then shows none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calvera::service {

class CommandLine {
 public:
  // The arguments after the program path.
  explicit CommandLine(std::vector<std::u16string> arguments);

  // True when an argument is '-' or '/' followed by exactly `word`, in any case: /install,
  // -INSTALL and /Install are the install switch; install, --install and /install:yes are not.
  bool HasSwitch(std::u16string_view word) const;

  // "INSTALL" or "UNINSTALL" is present.
  bool Installing() const;

 private:
  std::vector<std::u16string> arguments_;
};

}  // namespace calvera::service
