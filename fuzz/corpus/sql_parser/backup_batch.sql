Declare @Ar_Path Varchar(255),
        @Ar_DataBase varchar(50)

Set @Ar_DataBase = @P1
Set @Ar_Path     = @P2

Set @Ar_DataBase = LTrim(RTrim(Replace(@Ar_DataBase, '''', '')))
Declare @path varchar(200) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), ':', '-') + '.Back' 
BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT

