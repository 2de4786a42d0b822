#!/usr/bin/env bash
# Installs the binding and our engine from the Linux and Windows build trees, configures
# tests/consumer against each installed tree with find_package, builds it and runs its
# test (Windows under Wine). Each tree is build/consumer/<preset>, installed into its
# installed/ folder; the test reports land in its test-results/ for the summary. A
# preset this machine cannot run (win32 where the kernel runs 64-bit code only) leaves
# the reason in its tree's not-run file instead.
# Usage: scripts/test-consumer.sh [preset...]   (default: native native32 win32 win64)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(native native32 win32 win64)
status=0
for preset in "${presets[@]}"; do
  tree=build/consumer/$preset
  log=build/consumer/$preset.log
  rm -rf "$tree"
  mkdir -p build/consumer
  if [[ $preset == @(native32|win32) ]] && ! why=$(scripts/i386-support.sh runs "$preset"); then
    mkdir -p "$tree"
    echo "$why" >"$tree/not-run"
    echo "consumer $preset: not run: $why"
    continue
  fi
  : >"$log"
  # Quiet steps; a failing one shows its whole log.
  step() { "$@" >>"$log" 2>&1 || { cat "$log" >&2; return 1; }; }
  configure_args=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_PREFIX_PATH=$PWD/$tree/installed")
  run=(ctest --test-dir "$tree" --output-on-failure)
  # A program on the 32-bit Linux install builds with -m32, as the guide says.
  [ "$preset" != native32 ] || configure_args+=(-DCMAKE_CXX_FLAGS=-m32 -DCMAKE_EXE_LINKER_FLAGS=-m32)
  if [ "$preset" = win32 ] || [ "$preset" = win64 ]; then
    configure_args+=("-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/$([ "$preset" = win32 ] && echo i686 || echo x86_64)-w64-mingw32.cmake")
    run=(xvfb-run -a -s "-screen 0 1600x1000x24" "${run[@]}")
  fi
  if step cmake --preset "$preset" &&
    step cmake --build --preset "$preset" -j "${JOBS:-2}" --target ceflib cef_engine &&
    step cmake --install "build/$preset" --prefix "$tree/installed" --component ceflib &&
    step cmake --install "build/$preset" --prefix "$tree/installed" --component engine &&
    step cmake -S tests/consumer -B "$tree" "${configure_args[@]}" &&
    step cmake --build "$tree" -j "${JOBS:-2}" &&
    "${run[@]}"; then
    echo "consumer $preset: ok"
  else
    echo "consumer $preset: FAILED (log: $log)" >&2
    status=1
  fi
done
exit $status
