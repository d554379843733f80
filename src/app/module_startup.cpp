#include "app/module_startup.h"

void startModules()
{
    // 1. Window classes opened by name through ShowFormByClassName: the
    //    maintenance window enters itself here as "TFrmDBTools" when its
    //    module joins the program.
    // 2. The database layer's process-wide start-up (FreeTDS), where the
    //    Windows program initialised COM for the user-interface thread, is
    //    called here when that layer joins the program; its finish goes
    //    first in finishModules().
}

void finishModules()
{
    // The reverse of startModules(); nothing of the two modules above holds
    // process-wide state yet.
}
