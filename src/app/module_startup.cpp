#include "app/module_startup.h"

#include "maintenance/frm_db_tools.h"
#include "platform/freetds_session.h"

namespace movan {

void startModules()
{
    // Window classes opened by name through ShowFormByClassName.
    TFrmDBTools::registerClass();

    // The database layer's process-wide start-up, once, on the user-interface
    // thread, before any window can open a connection.
    FreeTdsSession::initializeLibrary();
}

void finishModules()
{
    FreeTdsSession::finalizeLibrary();
}

} // namespace movan
