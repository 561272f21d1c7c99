#pragma once

namespace intercom {

// Registers the compiled-in resources (interface files, images). The library is static, so
// nothing else keeps them from being dropped by the linker.
void ensureResources();

}  // namespace intercom
