#include "app/module_startup.h"

#include "platform/freetds_session.h"

void startModules()
{
    // Window classes opened by name through ShowFormByClassName are
    // registered here, the maintenance window as "TFrmDBTools".

    // The database layer's process-wide start-up, once, on the user-interface
    // thread, before any window can open a connection.
    FreeTdsSession::initializeLibrary();
}

void finishModules()
{
    FreeTdsSession::finalizeLibrary();
}
