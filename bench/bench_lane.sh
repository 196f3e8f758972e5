# The build a bench measures (sourced after tools/wine-lib.sh): the 32-bit
# programs where this machine starts 32-bit programs, as the figures in
# docs/performance.md were first taken, and the 64-bit ones (under Wine's
# 64-bit loader, in a 64-bit prefix) where it starts none. QINGHE_BENCH_BITS
# (32 or 64) chooses. Sets `preset`, `build`, `default_arch` and the names
# of the programs, and prints which ran.
if [ -z "${QINGHE_BENCH_BITS:-}" ]; then
  QINGHE_BENCH_BITS=32
  qinghe_wine_runs_32bit || QINGHE_BENCH_BITS=64
fi
case "$QINGHE_BENCH_BITS" in
  32) preset=win32 default_arch=win32 qinghe_exe=qinghe.exe qinghe_cli=qinghe-cli.exe ;;
  64) preset=win64 default_arch=win64 qinghe_exe=qinghe64.exe qinghe_cli=qinghe64-cli.exe ;;
  *) echo "QINGHE_BENCH_BITS is 32 or 64, not '$QINGHE_BENCH_BITS'" >&2; exit 2 ;;
esac
export QINGHE_WINE_PROGRAM_BITS=$QINGHE_BENCH_BITS
build=build/$preset
echo "build: $preset ($QINGHE_BENCH_BITS-bit programs)"
