#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command in a throwaway copy of this system, so that a check may
# install and remove packages without touching what the user has:
#
#   tests/packages/scratch_root.sh COMMAND [ARGUMENT...]
#
# The command runs as root, chrooted into an overlay of / whose writes go to
# a tmpfs, in a mount namespace of its own: it sees every file of the
# system as it is (the user's packages, a `make install`, this clone), and
# everything it writes, dpkg's database included, is gone when it ends,
# whatever way it ends, because the namespace and its mounts end with it.
# It starts in the current folder. Needs root; exits 77 without it.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "scratch_root.sh: needs root (a mount namespace and an overlay over /)" >&2
  exit 77
fi

if [ "${1:-}" != --inside ]; then
  [ $# -gt 0 ] || { echo "usage: scratch_root.sh COMMAND [ARGUMENT...]" >&2; exit 2; }
  top=$(mktemp -d /tmp/scratch-root.XXXXXX)
  status=0
  unshare --mount --propagation private -- "$0" --inside "$top" "$PWD" "$@" || status=$?
  rmdir "$top"  # only the empty mount point is left on the real system
  exit "$status"
fi

# In the new mount namespace.
top=$2 cwd=$3
shift 3
mount -t tmpfs -o mode=700 scratch-root "$top"
mkdir "$top/upper" "$top/work" "$top/root"
mount -t overlay scratch-root -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root"
for d in proc sys dev; do
  mount --rbind "/$d" "$top/root/$d"
done
exec chroot "$top/root" /usr/bin/env -C "$cwd" -- "$@"
