#pragma once

#include <string>

namespace sqlemu {

// What the emulated server says about itself, by the --server-version it
// plays (9.0 = SQL Server 2005, 10.50 = 2008 R2, 16.0 = 2022).
struct ServerIdentity {
    std::string productVersion; // SERVERPROPERTY('ProductVersion')
    std::string productLevel; // RTM, SP2 ...
    std::string edition;
    std::string versionBanner; // @@VERSION
    int compatibilityLevel = 90;
    int databaseVersion = 611; // sysdatabases.version
    bool oldUnknownDatabaseText = true; // 911 in its SQL Server 2000/2005 wording
    bool truncateOnlySupported = true; // BACKUP LOG ... WITH TRUNCATE_ONLY
    bool declareInitializerSupported = false; // DECLARE @v int = 1
};

// Unknown versions play the newest one we know.
ServerIdentity serverIdentity(const std::string &serverVersion);

} // namespace sqlemu
