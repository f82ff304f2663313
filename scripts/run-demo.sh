#!/bin/sh
# Records one call from the simulated client with CalvoroRecord.exe under wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset windows > /dev/null
cmake --build build/windows -j"$(nproc)"
echo "The recording pipeline is not built yet: CalvoroRecord.exe and the simulated client come with it."
exit 1
