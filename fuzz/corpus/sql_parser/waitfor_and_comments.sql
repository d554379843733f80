/* outer /* inner */ */ WAITFOR DELAY '00:00:01.5' -- done
PRINT N'ok'