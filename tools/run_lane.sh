# The lane the run command and the README's pictures use (sourced after
# wine-lib.sh): the 64-bit program by default, which every machine runs;
# with --32 the 32-bit one, where the kernel starts 32-bit programs. Sets
# `preset` and `program` and the lane's environment.
qinghe_run_lane() {
  case "$1" in
    "")
      preset=win64 program=qinghe64.exe
      export QINGHE_WINE_PROGRAM_BITS=64
      ;;
    --32)
      preset=win32 program=qinghe.exe
      export QINGHE_WINE_PROGRAM_BITS=32
      qinghe_wine_runs_32bit || {
        echo "--32: this machine's kernel starts no 32-bit programs, and Wine's loader for 32-bit Windows programs is one; run without --32 for the 64-bit program" >&2
        exit 2
      }
      ;;
    *)
      echo "usage: $0 [--32]" >&2
      exit 2
      ;;
  esac
}
