#!/usr/bin/env bash
# The public header under the strictest warnings consumers use, in C11 and in
# C++17 and C++20, with each compiler given (and clang when installed); and the
# C++ mistakes that must not compile.
#   header_compile.sh INCLUDE_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -uo pipefail
include="$1"
src="$2"
compilers_c=("$3")
compilers_cxx=("$4")
command -v clang >/dev/null && compilers_c+=(clang)
command -v clang++ >/dev/null && compilers_cxx+=(clang++)

strict=(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wdouble-promotion)
failures=0

for cc in "${compilers_c[@]}"; do
  if ! "$cc" -std=c11 "${strict[@]}" -I"$include" -c "$src/strict_consumer.c" -o /dev/null; then
    echo "FAIL: $cc -std=c11 rejects the header"
    failures=$((failures + 1))
  fi
done
for cxx in "${compilers_cxx[@]}"; do
  for std in c++17 c++20; do
    if ! "$cxx" -std=$std "${strict[@]}" -Wold-style-cast -Wsign-conversion -I"$include" \
      -c "$src/strict_consumer.cpp" -o /dev/null; then
      echo "FAIL: $cxx -std=$std rejects the header"
      failures=$((failures + 1))
    fi
  done
  for misuse in 0 1 2 3 4 5 6 7; do
    if "$cxx" -std=c++20 -Wall -Wextra -DKUBIK_MISUSE=$misuse -I"$include" \
      -c "$src/misuse.cpp" -o /dev/null 2>/dev/null; then
      built=1
    else
      built=0
    fi
    if [[ $misuse -eq 0 && $built -eq 0 ]]; then
      echo "FAIL: $cxx rejects the control case of misuse.cpp"
      failures=$((failures + 1))
    elif [[ $misuse -ne 0 && $built -eq 1 ]]; then
      echo "FAIL: $cxx compiles misuse case $misuse"
      failures=$((failures + 1))
    fi
  done
done
echo "header checks: $failures failure(s) with ${compilers_c[*]} / ${compilers_cxx[*]}"
[[ $failures -eq 0 ]]
