#!/usr/bin/env bash
# Runs a command with 32-bit x86 programs run by qemu-user, for a kernel that
# runs none itself:
#
#   emulated.sh COMMAND [ARGS...]
#
# In a user and mount namespace of its own (unshare --user --map-root-user
# --mount), it mounts a binfmt_misc instance of that namespace's own (kernels
# from 6.7 give each user namespace one) and registers qemu-i386-static for
# i386 ELF files, with the F flag so that the interpreter is opened now and
# found whatever the command's root. The machine's own binfmt_misc is not
# touched. Exits with the command's status, 125 when the emulation cannot be
# set up (the reason on standard error).
set -euo pipefail

qemu=${QEMU_I386:-/usr/bin/qemu-i386-static}

if [[ "${1:-}" != --inside ]]; then
  [[ $# -gt 0 ]] || { echo "usage: emulated.sh COMMAND [ARGS...]" >&2; exit 2; }
  [[ -x "$qemu" ]] || { echo "no $qemu (qemu-user-static)" >&2; exit 125; }
  exec unshare --user --map-root-user --mount bash "$0" --inside "$@"
fi
shift

# The kernel's i386 ELF header (executables and shared objects, such as
# ld-linux.so.2), as qemu's own binfmt rules match it.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt=/proc/sys/fs/binfmt_misc
if ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
  echo "this kernel gives a user namespace no binfmt_misc of its own (Linux $(uname -r); 6.7 or later does)" >&2
  exit 125
fi
if ! printf '%s' ":quelvaro-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register" 2>/dev/null; then
  echo "qemu-i386-static could not be registered in the namespace's binfmt_misc" >&2
  exit 125
fi
exec "$@"
