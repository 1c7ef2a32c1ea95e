# Loading, initialising and shutting down twice, under Wine and natively.
"$native" gen 31 176 144 6 clip.yc
wine_server_start
echo "== plug-in under Wine"
wine_run ./plugin_host.exe lifecycle nivora.auf clip.yc | tr -d '\r'
echo "== Linux build"
"$native" lifecycle linked clip.yc
