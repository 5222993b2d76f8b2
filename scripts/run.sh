#!/usr/bin/env bash
# run.sh [IMAGE...]: installs what is missing, builds, and decodes the images named (PGM or
# PNG) through the decoder library; with no image, a few rendered samples.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release >/dev/null
exec build/release/tools/decode-image/decode-image "$@"
