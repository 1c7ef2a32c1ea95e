# The maximum-image-size message boxes, under a virtual display.
wine_run_gui ./plugin_host.exe size-messages nivora.auf | tr -d '\r'
