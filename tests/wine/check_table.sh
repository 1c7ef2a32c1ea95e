# The filter table as the test editor reads it, from the plug-in under Wine and
# from the Linux build, against the expected table.
wine_server_start
wine_run ./plugin_host.exe table nivora.auf | tr -d '\r' > table_wine.txt
"$native" table linked > table_linux.txt
status=0
diff -u "$here/expected_table.txt" table_wine.txt || status=1
diff -u "$here/expected_table.txt" table_linux.txt || status=1
[ $status -eq 0 ] || { echo "the table differs from the expected one"; exit 1; }
