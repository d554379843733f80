Select name, filename from master.dbo.sysdatabases 
Where 1=1

