// What a host implementation declares about itself when a provider is built for it: the
// capability contract it implements and which of the seven services it offers. The provider
// copies it unchecked; initialize() is where an incompatible contract is refused.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"

namespace uihost {

using runtime::Text;

// The one capability contract a provider can initialise against.
inline constexpr const char* kCapabilitySchema = "mivo.native-ui-host-capabilities.v1";
inline constexpr std::int32_t kContractVersion = 1;

struct HostProviderDescriptor {
  Text capabilitySchema;
  std::int32_t contractVersion = 0;
  Text providerName;
  bool supportsAccessibility = false;
  bool supportsTextInput = false;
  bool supportsClipboard = false;
  bool supportsDisplayTopology = false;
  bool supportsSessionLifecycle = false;
  bool supportsVirtualKeyboard = false;
  bool supportsDelayedClipboard = false;

  bool operator==(const HostProviderDescriptor&) const = default;
};

}  // namespace uihost
