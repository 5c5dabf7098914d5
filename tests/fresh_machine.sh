#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's two commands on a bare Debian 12: a minimal chroot made by
# debootstrap from the archive this machine's apt uses, with only make
# added, and a copy of this tree in /src, where `make demo` and then
# `make test` must install what they lack and pass, within LIMIT seconds.
# Needs root (debootstrap, chroot, mount).
#
#   tests/fresh_machine.sh [LIMIT]
#
# The base system is cached as build-fresh/bookworm-minbase.tar (delete it
# to make it anew). The chroot, its mount of /proc and every process in it
# are removed on every exit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
limit=${1:-1800}
cache="$top/build-fresh"
base="$cache/bookworm-minbase.tar"

[ "$(id -u)" -eq 0 ] || { echo "error: the fresh-machine check needs root (debootstrap, chroot, mount)" >&2; exit 1; }

# The Debian mirror this machine's apt already uses.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
mirror=${mirror:-http://deb.debian.org/debian}

mkdir -p "$cache"
root=$(mktemp -d "$cache/root.XXXXXX")
cleanup() {
  # Any process still running inside the chroot, then its mount, then the
  # tree itself, never crossing into another file system.
  for link in /proc/[0-9]*/root; do
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
    pid=${link#/proc/}; pid=${pid%/root}
    kill -KILL "$pid" 2>/dev/null || true
  done
  if mountpoint -q "$root/proc"; then umount "$root/proc" || umount -l "$root/proc"; fi
  mountpoint -q "$root/proc" || rm -rf --one-file-system "$root"
  rm -rf "$cache/base.partial"
}
trap cleanup EXIT INT TERM

if [ ! -f "$base" ]; then
  echo "fresh machine: Debian 12 minbase from $mirror, with make"
  rm -rf "$cache/base.partial"
  start=$SECONDS
  debootstrap --variant=minbase --include=make bookworm "$cache/base.partial" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
    tail -n 20 "$cache/debootstrap.log" >&2; echo "error: debootstrap failed (log: $cache/debootstrap.log)" >&2; exit 1; }
  tar -C "$cache/base.partial" -cf "$base.tmp" . && mv "$base.tmp" "$base"
  rm -rf "$cache/base.partial"
  echo "fresh machine: base system made in $((SECONDS - start)) s, cached as $base"
fi

tar -C "$root" -xf "$base"
# apt inside uses the same archive as outside; name resolution as outside.
[ -f /etc/apt/sources.list.d/debian.sources ] && cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/" &&
  rm -f "$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"

# The tree as it is, without build folders or anything ignored.
mkdir "$root/src"
(cd "$top" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar --null -T - -cf -) | tar -C "$root/src" -xf -

echo "fresh machine: make demo && make test in the chroot (at most $limit s)"
start=$SECONDS
set +e
timeout --kill-after=30 "$limit" chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  /bin/sh -c 'cd /src && make demo && make test' </dev/null
status=$?
set -e
case $status in
  0) echo "fresh machine: make demo and make test passed on a bare Debian 12 in $((SECONDS - start)) s" ;;
  124|137) echo "error: fresh machine: not done within $limit s" >&2 ;;
  *) echo "error: fresh machine: make demo or make test failed (exit $status)" >&2 ;;
esac
exit "$status"
