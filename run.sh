#!/usr/bin/env bash
# ./run.sh [FILE|ADDRESS]: installs what is missing, builds, and runs the player:
# the window when a display exists, else the headless front end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/deps.sh"
"$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$here/scripts/launch.sh" "$@"
