#!/usr/bin/env bash
# Tells whether this machine can run 32-bit x86 programs, which Wine needs to run the 32-bit
# installer. Exit 0: it can. Exit 1: it cannot, with the reason on standard output.
#
# Some virtual machines run a kernel whose 32-bit emulation is switched off (ia32_emulation=off, or
# a paravirtualised guest without 32-bit code segments): no 32-bit code runs there at all, neither
# Wine's 32-bit loader nor a 32-bit Windows program in Wine's 64-bit WoW64 mode. The probe is a
# 32-bit ELF program of 64 bytes that only exits; it is written and run from a temporary folder.
set -u
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
# ELF header and one program header for i386: _start is "xor ebx,ebx; mov eax,1; int 0x80".
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80\x90\x90\x90' > "$probe/probe"
chmod +x "$probe/probe"
if "$probe/probe" 2>/dev/null; then exit 0; fi
echo "this machine's kernel runs no 32-bit x86 code (its 32-bit emulation is off), so Wine cannot run the 32-bit installer here"
exit 1
