#include "app/Registry.h"

namespace vantor {

// The file is chosen when the store is first used, so a test (or a user) may set
// QUORVEL_REGISTRY_FILE before the host starts.
RegistryStore& platformRegistryStore() {
    static FileRegistryStore store(defaultRegistryFilePath());
    return store;
}

} // namespace vantor
