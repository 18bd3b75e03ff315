#!/usr/bin/env bash
# Configures and builds one flavour of the project, or only the named targets of it.
#   scripts/build.sh [plain|asan|tsan|fuzz] [TARGET...]
#     (default plain, everything; build folder build/, build-asan/, ...)
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-plain}
targets=("${@:2}")
jobs=${ZEMRIK_JOBS:-$(nproc)}
common=(-G Ninja -DZEMRIK_WERROR=ON)
case "$flavour" in
  plain) dir=build; args=() ;;
  asan) dir=build-asan; args=(-DZEMRIK_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan) dir=build-tsan; args=(-DZEMRIK_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  fuzz) dir=build-fuzz; args=(-DZEMRIK_FUZZ=ON -DZEMRIK_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
                               -DCMAKE_CXX_COMPILER=clang++-14
                               -DZEMRIK_SANITIZE=fuzzer-no-link,address,undefined) ;;
  *) echo "usage: $0 [plain|asan|tsan|fuzz] [TARGET...]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" "${common[@]}" "${args[@]}" >/dev/null
# The configuration is the same whatever is built, so a later full build only adds the rest.
cmake --build "$dir" -j "$jobs" ${targets[@]+--target "${targets[@]}"}
