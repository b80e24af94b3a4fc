#!/usr/bin/env bash
# Runs a test program built with the 3DNow! instructions on an emulated
# processor that has them. Exit 77 (skipped) where no emulator is installed.
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "SKIPPED: qemu-x86_64 not found (Debian package qemu-user); the real-instruction 3DNow! build is not run"
  exit 77
fi
# The emulator warns about processor features it does not model; that is noise here.
exec qemu-x86_64 -cpu phenom "$@" 2> >(grep -v "TCG doesn't support requested feature" >&2)
