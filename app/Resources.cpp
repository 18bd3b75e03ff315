#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function in the global namespace, so it is called from one.
static void InitResources() { Q_INIT_RESOURCE(zemrik); }

void LoadZemrikResources() {
    static const bool loaded = (InitResources(), true);
    (void)loaded;
}
