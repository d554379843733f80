#pragma once

#include "db/database.h"

#include <exception>

namespace movan {

// The data module: the one connection the setup window shares with the
// maintenance window while one of its actions runs.
class TDMMain {
public:
    TDMMain();
    DbConnection ADOConnection1;
};

// The data module of the running action; null between actions.
extern TDMMain *DMMain;

// Opens connection with the settings of the section in the file beside the
// executable. False, with the connection untouched, when the file is missing;
// false when opening fails, whatever the reason. The caller reports it in its
// own words, and finds the reason in failure when it asks for it.
bool ConnectFromIni(DbConnection &connection, const QString &section, const QString &fileName,
                    std::exception_ptr *failure = nullptr);

} // namespace movan
