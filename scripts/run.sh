#!/usr/bin/env bash
# Builds Kestrelon and starts it on the demo configuration: the sample site under site/ on port
# 8080, the server started automatically. With a display it opens the window, without one it runs
# headless. Extra arguments go to the program (for example --listen 127.0.0.1 or --headless).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kestrelon

demo=build/default/demo
mkdir -p "$demo"
demo_abs=$(pwd)/$demo
# The demo settings are written on first run; the program saves its changes into this copy, so
# the repository stays clean. Port control and the feedback file are on, so every part of the
# sample site works; the form's submissions go to feedback.txt beside the settings.
if [[ ! -f "$demo/kestrelon.ini" ]]; then
    cat > "$demo/kestrelon.ini" <<INI
[WebServe]
Port=8080
Root=$(pwd)/site
RootFile=index.html
AutoStart=1
IO=1
Append=1
AppendFile=$demo_abs/feedback.txt
INI
fi
exec build/default/kestrelon --config "$demo/kestrelon.ini" "$@"
