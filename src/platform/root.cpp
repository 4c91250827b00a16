// Compiled once per executable: the production program and the sandboxed
// test program differ only in this constant.
#include "platform/platform.h"

#ifndef WEBCFG_APPLIANCE_ROOT
#error "WEBCFG_APPLIANCE_ROOT must be defined by the build"
#endif

namespace platform {
extern const char kApplianceRoot[];
const char kApplianceRoot[] = WEBCFG_APPLIANCE_ROOT;
}  // namespace platform
