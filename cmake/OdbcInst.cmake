# upg_write_odbcinst(FOLDER DRIVER): writes FOLDER/odbcinst.ini naming DRIVER (a FreeTDS
# libtdsodbc.so) as the driver "SQL Server", the name the program's connection string asks for.
# unixODBC reads it instead of the system's where ODBCSYSINI names FOLDER.
function(upg_write_odbcinst folder driver)
  file(WRITE ${folder}/odbcinst.ini "[SQL Server]\nDriver=${driver}\n")
endfunction()
