#include "sql/server_identity.h"

#include "engine_interface/product_release.h"

namespace sqlemu {

ServerIdentity serverIdentity(const std::string &serverVersion)
{
    ServerIdentity id;
    const ProductRelease &release = productRelease(serverVersion);
    id.productVersion = release.productVersion;
    id.productLevel = release.productLevel;
    if (serverVersion == "9.0" || serverVersion == "9.00") {
        id.edition = "Express Edition";
        id.versionBanner = "Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86) \n\tDec 10 2010 10:56:29 \n"
                           "\tCopyright (c) 1988-2005 Microsoft Corporation\n"
                           "\tExpress Edition on Windows NT 6.1 (Build 7601: Service Pack 1)\n";
        id.compatibilityLevel = 90;
        id.databaseVersion = 611;
        id.oldUnknownDatabaseText = true;
        id.truncateOnlySupported = true;
    } else if (serverVersion == "10.50") {
        id.edition = "Express Edition";
        id.versionBanner = "Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0 (Intel X86) \n\tJun 28 2012 08:42:37 \n"
                           "\tCopyright (c) Microsoft Corporation\n"
                           "\tExpress Edition on Windows NT 6.1 <X86> (Build 7601: Service Pack 1)\n";
        id.compatibilityLevel = 100;
        id.databaseVersion = 661;
        id.oldUnknownDatabaseText = false;
        id.truncateOnlySupported = false;
        id.declareInitializerSupported = true;
    } else {
        id.edition = "Express Edition (64-bit)";
        id.versionBanner = "Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n\tOct  8 2022 05:58:25 \n"
                           "\tCopyright (C) 2022 Microsoft Corporation\n"
                           "\tExpress Edition (64-bit) on Windows 10 Pro 10.0 <X64> (Build 19045: ) (Hypervisor)\n";
        id.compatibilityLevel = 160;
        id.databaseVersion = 957;
        id.oldUnknownDatabaseText = false;
        id.truncateOnlySupported = false;
        id.declareInitializerSupported = true;
    }
    return id;
}

} // namespace sqlemu
