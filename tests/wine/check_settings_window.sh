# The settings window's button, font, keys and clicks, under a virtual display.
"$native" gen 32 64 48 10 clip.yc
wine_run_gui ./plugin_host.exe settings-window nivora.auf clip.yc | tr -d '\r'
