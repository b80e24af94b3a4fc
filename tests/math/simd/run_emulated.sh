#!/usr/bin/env bash
# Runs a test program on an emulated processor model:
#   run_emulated.sh MODEL PROGRAM [ARGUMENTS...]
# Exit 77 (skipped) where no emulator is installed.
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "SKIPPED: qemu-x86_64 not found (Debian package qemu-user); not run on an emulated $1 processor"
  exit 77
fi
model=$1
shift
# The emulator warns about processor features it does not model; that is noise here.
exec qemu-x86_64 -cpu "$model" "$@" 2> >(grep -v "TCG doesn't support requested feature" >&2)
