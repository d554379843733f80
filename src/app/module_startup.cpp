#include "app/module_startup.h"

#include "platform/freetds_session.h"

void startModules()
{
    // Window classes opened by name through ShowFormByClassName: the
    // maintenance window enters itself here as "TFrmDBTools" when its module
    // joins the program.

    // The database layer's process-wide start-up, where the Windows program
    // initialised COM for the user-interface thread.
    FreeTdsSession::initializeLibrary();
}

void finishModules()
{
    FreeTdsSession::finalizeLibrary();
}
