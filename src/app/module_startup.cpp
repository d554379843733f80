#include "app/module_startup.h"

#include "maintenance/frm_db_tools.h"
#include "platform/freetds_session.h"

void startModules()
{
    // Window classes opened by name through ShowFormByClassName.
    TFrmDBTools::registerClass();

    // The database layer's process-wide start-up, where the Windows program
    // initialised COM for the user-interface thread.
    FreeTdsSession::initializeLibrary();
}

void finishModules()
{
    FreeTdsSession::finalizeLibrary();
}
