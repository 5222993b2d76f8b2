#!/usr/bin/env bash
# run.sh [IMAGE...]: installs what is missing, builds, and scans the images named (PGM or
# PNG) through the whole service side in a JVM; with no image, decode-image's samples.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release >/dev/null
exec build/release/tools/scan/scan "$@"
