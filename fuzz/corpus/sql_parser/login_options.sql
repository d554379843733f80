set ansi_nulls on
set textsize 2147483647
set transaction isolation level read committed
set language us_english
