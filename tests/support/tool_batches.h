#pragma once

// The batches the tool sends, taken from the program itself, in the text the
// server receives: the database layer turns each named parameter into a
// positional one (@P1, @P2, ... in order of first appearance) and sends the
// batch through sp_executesql.

#include "maintenance/batches.h"
#include "setup/batches.h"

#include <string>
#include <string_view>
#include <vector>

namespace sqlemu::test {

inline std::string withPositionalParameters(std::string_view sql, const std::vector<std::string> &names)
{
    std::string text(sql);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string marker = ":" + names[i];
        const std::string positional = "@P" + std::to_string(i + 1);
        for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + positional.size()))
            text.replace(at, marker.size(), positional);
    }
    return text;
}

inline const std::string kInstanceListBatch{movan::kInstanceListSql};
inline const std::string kDatabaseListBatch{movan::kDatabaseListSql};
// The list with dbcDataList ticked: the condition goes in front of the
// existing one, joined by AND.
inline const std::string kFilteredDatabaseListBatch = "Select name, filename from master.dbo.sysdatabases \r\nWhere "
    + std::string(movan::kProgramDatabasesCondition) + " AND  1=1\r\n\r\n";
inline const std::string kLogShrinkBatch = withPositionalParameters(movan::kLogShrinkSql, {"Ar_DataBase"});
inline const std::string kRecoveryLogShrinkBatch
    = withPositionalParameters(movan::kRecoveryLogShrinkSql, {"Ar_DataBase"});
inline const std::string kBackupBatch = withPositionalParameters(movan::kBackupSql, {"Ar_DataBase", "Ar_Path"});
inline const std::string kAttachBatch
    = movan::attachDatabaseSql("Tarnel", "C:\\App\\Data\\Tar'nel.mdf", "C:\\App\\Data\\Tarnel_log.ldf");
inline const std::string kDropBatch = movan::dropDatabaseSql("Tarnel");
inline const std::string kRestoreBatch
    = movan::restoreDatabaseSql("Tarnel", "D:\\Backup\\Tarnel_13910829_14-05.Bak", "C:\\App\\");

} // namespace sqlemu::test
