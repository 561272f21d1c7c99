#include "ui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the resource's initialiser, which lives in the global namespace.
static void initIntercomResources() {
    Q_INIT_RESOURCE(intercom);
}

namespace intercom {

void ensureResources() {
    static const bool done = (initIntercomResources(), true);
    (void)done;
}

}  // namespace intercom
