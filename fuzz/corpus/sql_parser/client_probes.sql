select @@version
SELECT @@SPID spid, SERVERPROPERTY('ProductVersion'), DB_ID(N'Tarnel')
