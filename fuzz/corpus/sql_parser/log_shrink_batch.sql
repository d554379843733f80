Declare
	@DataBase Varchar(50)
Set @DataBase = @P1
checkpoint
BACKUP LOG @DataBase WITH TRUNCATE_ONLY

DECLARE @LogName varchar(100)
SELECT @LogName=NAME FROM SYSFILES WHERE FILEID = 2
SET @LogName = LTRIM(RTRIM(@LogName))

DBCC SHRINKFILE(@LogName, 1)
