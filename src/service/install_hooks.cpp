#include "service/install_hooks.h"

#include "config/captions.h"
#include "config/custom_registry.h"
#include "config/settings.h"
#include "platform/failure_policy.h"

namespace calvera::service {

void ServiceBeforeInstall(platform::Platform& platform, TService& sender) noexcept {
  TryOrIgnore([&] {
    sender.SetDisplayName(config::LookupCaption(platform, sender.Name(), u"DisplayName"));
  });
}

void ServiceAfterInstall(platform::Platform& platform, TService& sender) noexcept {
  TryOrIgnore([&] {
    // The services key is shared by both registry views, so the default view serves.
    config::WriteRegistryString(platform.registry, platform::RegistryRoot::kLocalMachine,
                                config::kServiceKeyPath, config::kDescription,
                                config::LookupCaption(platform, sender.Name(), u"Description"),
                                false);
  });
}

}  // namespace calvera::service
