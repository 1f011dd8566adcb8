# The one configuration of the build folder that scripts/run-sample.sh and
# scripts/test.sh share, so that running one after the other builds once.
# Sourced by both; BUILD_DIR names the folder (default build).
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYON_WERROR=ON >/dev/null
