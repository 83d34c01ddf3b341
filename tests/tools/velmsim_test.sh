#!/usr/bin/env bash
# The simulation host end to end: a converged report with every section, runs
# that repeat exactly for the same seed (one stream, and two threads), the CSV
# file, and clear failures for a library that cannot be loaded, a library that
# lacks an export, and bad options.
set -uo pipefail
velmsim=$1
threaded=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
check() {  # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

"$velmsim" >"$scratch/one.txt" 2>"$scratch/one.err"
check "default run exits 0" test $? -eq 0
for section in "converged after" "Statistics of the project cost" "Coef. Var." "Upper CLV" \
               "Percentiles" "Histogram" "Rank correlation" "Labour hours" "Convergence"; do
  check "report has '$section'" grep -q "$section" "$scratch/one.txt"
done
"$velmsim" >"$scratch/two.txt"
check "same seed, same report" cmp -s "$scratch/one.txt" "$scratch/two.txt"

"$velmsim" --threads 2 --iterations 3000 --block 300 >"$scratch/t1.txt"
"$velmsim" --threads 2 --iterations 3000 --block 300 >"$scratch/t2.txt"
check "threaded runs repeat" cmp -s "$scratch/t1.txt" "$scratch/t2.txt"
check "threaded run names its threads" grep -q "sampling: 2 threads" "$scratch/t1.txt"

"$velmsim" --iterations 600 --block 300 --csv "$scratch/run.csv" >/dev/null
check "CSV has a header and one line per iteration" \
  test "$(head -1 "$scratch/run.csv" | cut -d, -f1)" = iteration -a "$(wc -l <"$scratch/run.csv")" -eq 601

"$velmsim" --library "$scratch/none.so" >/dev/null 2>"$scratch/err.txt"
check "unloadable library: status 2" test $? -eq 2
check "unloadable library: message" grep -q "cannot load the library" "$scratch/err.txt"
"$velmsim" --library "$threaded" >/dev/null 2>"$scratch/err.txt"
check "missing export: status 2" test $? -eq 2
check "missing export: message" grep -q "lacks the export VELMSORT" "$scratch/err.txt"
for bad in "--seed -1" "--iterations 40000" "--tolerance x" "--frobnicate" "--threads"; do
  # shellcheck disable=SC2086
  "$velmsim" $bad >/dev/null 2>&1
  check "bad option '$bad': status 2" test $? -eq 2
done

echo "$failures failed"
exit $((failures > 0))
