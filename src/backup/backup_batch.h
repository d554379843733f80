#pragma once

// The backup batch, shared by the maintenance window and the command line:
// both send this very text with the same two parameters. Lines are joined,
// each ended by CR LF; ":Name" marks a named parameter that the database
// layer sends as a command parameter.

#include <string_view>

namespace movan {

// qrBackUp, parameters Ar_DataBase and Ar_Path. The path and the name are
// held as Unicode and at full length: a path cut short would put the backup
// in a file nobody chose, and a folder name outside the server's code page
// would be mangled. The name reaches BACKUP as a variable, so a quote, a
// bracket or a percent sign in it is part of the name and never SQL: only
// the blanks around it go.
inline constexpr std::string_view kBackupSql
    = "Declare @Ar_Path nvarchar(4000),\r\n"
      "        @Ar_DataBase nvarchar(128)\r\n"
      "\r\n"
      "Set @Ar_DataBase = :Ar_DataBase\r\n"
      "Set @Ar_Path     = :Ar_Path\r\n"
      "\r\n"
      "Set @Ar_DataBase = LTrim(RTrim(@Ar_DataBase))\r\n"
      "Declare @path nvarchar(4000) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), ':', '-') + '.Back' \r\n"
      "BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT\r\n"
      "\r\n";

// The client's sizes of the backup's parameters, matching their declarations.
inline constexpr int kBackupDataBaseParameterSize = 128;
inline constexpr int kBackupPathParameterSize = 4000;

inline constexpr std::string_view kBackupDataBaseParameter = "Ar_DataBase";
inline constexpr std::string_view kBackupPathParameter = "Ar_Path";

} // namespace movan
