// The executable's command-line switches: "INSTALL", "UNINSTALL" and "SILENT", each introduced
// by '-' or '/' and matched without regard to case.
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
