#!/usr/bin/env bash
# Runs a test program on an emulated processor with the 3DNow! instructions:
# the real-instruction build of the family, and the registry-driven suites,
# in which the 3DNow! family can run there. Exit 77 (skipped) where no emulator is installed.
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "SKIPPED: qemu-x86_64 not found (Debian package qemu-user); the 3DNow! family is not run on an emulated processor"
  exit 77
fi
# The emulator warns about processor features it does not model; that is noise here.
exec qemu-x86_64 -cpu phenom "$@" 2> >(grep -v "TCG doesn't support requested feature" >&2)
