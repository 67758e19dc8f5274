#!/usr/bin/env bash
# Can this machine run the shipped 32-bit exe at full speed (through WoW64, Wine's 32-bit half)?
# Prints "yes", or "no: REASON", and exits 0 for yes, 1 for no.
#
#   bash scripts/probe-32bit.sh [--kernel]
#
# Whether a Linux kernel runs 32-bit x86 programs differs between machines, so it is tried: a
# 32-bit program that only exits with status 7 is assembled and started. Then Wine's 32-bit
# loader must be installed (scripts/setup.sh installs it where the kernel says yes); --kernel
# asks only the kernel's question (what the set-up needs to know).
#
# ZR_FORCE_NO_32BIT=1 makes the answer "no" whatever the machine can do, so that the way a
# machine without 32-bit support runs the tests can be tried anywhere.
set -u

if [ "${ZR_FORCE_NO_32BIT:-0}" = 1 ]; then
  echo "no: forced by ZR_FORCE_NO_32BIT=1"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-probe32.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n mov $1, %%eax\n mov $7, %%ebx\n int $0x80\n' >"$work/exit7.s"
if ! as --32 -o "$work/exit7.o" "$work/exit7.s" 2>/dev/null ||
   ! ld -m elf_i386 -o "$work/exit7" "$work/exit7.o" 2>/dev/null; then
  echo "no: could not make the 32-bit test program (binutils' as --32 and ld -m elf_i386)"
  exit 1
fi
"$work/exit7" 2>/dev/null
code=$?
if [ "$code" != 7 ]; then
  echo "no: this kernel does not run 32-bit x86 programs (a 32-bit program that exits with 7 gave $code)"
  exit 1
fi
[ "${1:-}" = --kernel ] && { echo yes; exit 0; }

if [ ! -x /usr/lib/wine/wine ]; then
  echo "no: Wine's 32-bit half is not installed (/usr/lib/wine/wine; scripts/setup.sh installs wine32:i386)"
  exit 1
fi
echo yes
