Select name, filename from master.dbo.sysdatabases 
Where name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%'  AND  1=1

