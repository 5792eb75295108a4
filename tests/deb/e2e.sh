#!/usr/bin/env bash
# The Debian packages in a throwaway Debian system, used by the real passwd
# and chpasswd:
#
#   tests/deb/e2e.sh [OUT]     (OUT: where make deb put them, build-deb/)
#
# A minimal bookworm made by mmdebstrap from the machine's own apt sources,
# with the packages' dependencies already in it, is cached as
# OUT/e2e/base-KEY.tar. The test unpacks it into OUT/e2e/root and works there
# in a chroot, inside a mount namespace of its own, so the machine's /etc and
# its mounts are never touched. Needs root.
set -euo pipefail

out=$(realpath "${1:-build-deb}")
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "e2e: needs root (mmdebstrap, chroot, mounts)" >&2
  exit 2
fi
if [ -z "${QUARVEL_E2E_NAMESPACE:-}" ]; then
  exec env QUARVEL_E2E_NAMESPACE=1 unshare --mount --propagation private -- "$0" "$@"
fi
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8
unset PYTHONPATH VIRTUAL_ENV
start=$SECONDS
work=$out/e2e
root=$work/root
mkdir -p "$work"

step() { printf '\n=== %s (%ss)\n' "$*" $((SECONDS - start)); }
fail() { echo "e2e: FAILED: $*" >&2; exit 1; }
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
    HOME=/root DEBIAN_FRONTEND=noninteractive "$@"
}
shadow_entry() { grep "^$user:" "$root/etc/shadow" | cut -d: -f2; }
# Whether the stored hash of $user is the hash of the password $1, with the
# system's own crypt(3).
hash_is() {
  in_root python3 -W ignore -c 'import crypt, sys
h = sys.argv[1]
sys.exit(0 if crypt.crypt(sys.argv[2], h) == h else 1)' "$(shadow_entry)" "$1"
}
# Every file and link of the system with its kind, mode, owner and size, and a
# checksum of each file; what apt, dpkg and the logs keep for themselves is
# left out.
snapshot() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./run -o -path ./tmp \
      -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt -o -path ./var/lib/dpkg \) -prune \
      -o -printf '%y %m %U:%G %s %p -> %l\n' | sort
   find . -xdev \( -path ./proc -o -path ./dev -o -path ./run -o -path ./tmp \
      -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt -o -path ./var/lib/dpkg \) -prune \
      -o -type f -print0 | sort -z | xargs -0 sha256sum)
}

debs=()
for f in "$out"/*.deb; do [ -e "$f" ] && debs+=("$f"); done
[ ${#debs[@]} -gt 0 ] || fail "no packages in $out (run make deb)"
ours=$(for f in "${debs[@]}"; do dpkg-deb -f "$f" Package; done | sort)

# --- the base system, with the packages' dependencies from the archive -----
# (and a JVM, which the Java library needs but does not depend on)
sources=/etc/apt/sources.list.d/debian.sources
[ -e "$sources" ] || sources=http://deb.debian.org/debian
deps=$(for f in "${debs[@]}"; do
         dpkg-deb -f "$f" Depends; dpkg-deb -f "$f" Pre-Depends; done |
       tr ',|' '\n\n' | sed 's/([^)]*)//; s/:any//; s/[[:space:]]//g' | grep -v '^$' | sort -u |
       grep -vxF "$ours" | paste -sd, -),default-jre-headless
key=$( (echo "$deps"; cat "$sources" 2>/dev/null || echo "$sources") | sha256sum | cut -c1-12)
base=$work/base-$key.tar
step "base system"
if [ ! -e "$base" ]; then
  rm -f "$work"/base-*.tar
  mmdebstrap --variant=minbase --format=tar --include="$deps" bookworm "$base.part" "$sources"
  mv "$base.part" "$base"
fi
rm -rf --one-file-system "$root"
mkdir -p "$root"
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mkdir -p "$root/tmp/debs"
cp "${debs[@]}" "$root/tmp/debs/"

# The user whose password changes: made before the install, so that only
# /etc/shadow may differ after the purge.
user=zorbulak
in_root useradd -m -s /bin/bash -c 'Zorbulak Quintavelle' "$user"
cp "$root/etc/pam.d/common-password" "$work/common-password.before"
snapshot > "$work/snapshot.before"

# --- install -----------------------------------------------------------------
step "apt install ./*.deb"
in_root sh -c 'cd /tmp/debs && apt install -y ./*.deb'
grep -n 'pam_quarvel\|pam_unix' "$root/etc/pam.d/common-password"
quarvel_line=$(grep -n '^password.*requisite.*pam_quarvel\.so' "$root/etc/pam.d/common-password" | cut -d: -f1)
unix_line=$(grep -n '^password.*pam_unix\.so.*use_authtok' "$root/etc/pam.d/common-password" | cut -d: -f1)
[ -n "$quarvel_line" ] || fail "pam-auth-update did not put pam_quarvel.so into common-password"
[ -n "$unix_line" ] || fail "pam_unix.so does not take the checked password (use_authtok)"
[ "$quarvel_line" -lt "$unix_line" ] || fail "pam_quarvel.so is not stacked before pam_unix.so"
cp "$root/etc/pam.d/common-password" "$work/common-password.installed"

in_root quarvel check 'vK8#qTz!m2Rw$Lp9' || fail "quarvel check on /etc/quarvel"
in_root python3 -c 'import quarvel
with quarvel.Environment("/etc/quarvel") as env:
    assert env.check("vK8#qTz!m2Rw$Lp9").level == 4
    assert env.check("sunshine1").level <= 2' || fail "the Python binding on /etc/quarvel"
if [ -e "$root/usr/share/java/quarvel.jar" ]; then
  mkdir -p "$work/java"
  javac --release 11 -cp "$root/usr/share/java/quarvel.jar" -d "$work/java" "$here/JavaCheck.java"
  mkdir -p "$root/tmp/java" && cp "$work/java/JavaCheck.class" "$root/tmp/java/"
  in_root java -cp /usr/share/java/quarvel.jar:/tmp/java JavaCheck ||
    fail "the Java library on /etc/quarvel"
fi

# --- chpasswd ------------------------------------------------------------------
refused() {  # refused PASSWORD REASON: chpasswd fails with REASON, shadow unchanged
  local before after message
  before=$(shadow_entry)
  if message=$(echo "$user:$1" | in_root chpasswd 2>&1); then
    fail "chpasswd accepted the weak password '$1'"
  fi
  echo "$message"
  grep -q "$2" <<<"$message" || fail "chpasswd gave no reason '$2' for '$1'"
  after=$(shadow_entry)
  [ "$before" = "$after" ] || fail "/etc/shadow changed for a refused password"
}
step "chpasswd refuses weak passwords"
refused 'sunshine1' 'based on a dictionary word'
refused 'Zorbulak#2024' 'based on your user name'
refused 'quintavelle77' 'based on your personal information'

step "chpasswd accepts a strong password"
before=$(shadow_entry)
echo "$user:vK8#qTz!m2Rw\$Lp9" | in_root chpasswd || fail "chpasswd refused a strong password"
[ "$(shadow_entry)" != "$before" ] || fail "the hash in /etc/shadow did not change"
hash_is 'vK8#qTz!m2Rw$Lp9' || fail "/etc/shadow does not hold the new password"

# --- passwd on a terminal, as the user ------------------------------------------
step "passwd as $user"
/usr/bin/python3 "$here/pty_dialogue.py" 0 \
  'expect:Current password:' 'secret:vK8#qTz!m2Rw$Lp9' \
  'expect:New password:' 'secret:Dragon2024' 'expect:Retype new password:' 'secret:Dragon2024' \
  'expect:BAD PASSWORD: it is based on a dictionary word' \
  'expect:New password:' 'secret:Hw3%ycN7*pEu@Jd5' \
  'expect:Retype new password:' 'secret:Hw3%ycN7*pEu@Jd5' \
  'expect:password updated successfully' \
  -- chroot --userspec="$user:$user" "$root" /usr/bin/env -i PATH=/usr/bin:/bin \
     LC_ALL=C.UTF-8 /usr/bin/passwd
hash_is 'Hw3%ycN7*pEu@Jd5' || fail "/etc/shadow does not hold the password set with passwd"

# --- a local edit of the configuration survives an upgrade -----------------------
step "upgrade keeps the edited configuration"
ini=$root/etc/quarvel/conf/quarvel.ini
in_root quarvel check --min-level 4 'vK8#qTz!m2Rw$Lp9' >/dev/null || fail "not level 4 before the edit"
sed -i 's/^quarvel_rule\.min_diff=4$/quarvel_rule.min_diff=17/' "$ini"
grep -qx 'quarvel_rule.min_diff=17' "$ini" || fail "the edit did not apply"
edited=$(sha256sum <"$ini")
new_version=$(dpkg-deb -f "${debs[0]}" Version)+upgrade1
QUARVEL_DEB_VERSION=$new_version "$top/scripts/build-deb.sh" "$out" >"$work/upgrade-build.log" 2>&1 ||
  { tail -30 "$work/upgrade-build.log"; fail "building the packages of version $new_version"; }
rm -rf "$root/tmp/debs"/*
cp "$out/$new_version"/*.deb "$root/tmp/debs/"
in_root sh -c 'cd /tmp/debs && apt install -y ./*.deb'
[ "$(in_root dpkg-query -W -f='${Version}' quarvel)" = "$new_version" ] || fail "quarvel was not upgraded"
[ "$(sha256sum <"$ini")" = "$edited" ] || fail "the upgrade did not keep the edited quarvel.ini"
if in_root quarvel check --min-level 4 'vK8#qTz!m2Rw$Lp9'; then
  fail "the edited rule is not in force after the upgrade"
fi
cmp "$work/common-password.installed" "$root/etc/pam.d/common-password" ||
  fail "the upgrade changed common-password"
# A dictionary of the administrator's own, beside the packaged one: the purge
# takes it away too.
printf 'plumbostrata\nquintessaline\n' >"$root/tmp/site-words"
in_root quarvel build --root /etc/quarvel --prefix dicts/site /tmp/site-words
[ -e "$root/var/lib/quarvel/dicts/site.pwd" ] || fail "quarvel build wrote no dictionary"

# --- purge ----------------------------------------------------------------------
step "apt purge"
# shellcheck disable=SC2086
in_root apt purge -y $ours
cmp "$work/common-password.before" "$root/etc/pam.d/common-password" ||
  fail "common-password is not as it was before the install"
snapshot > "$work/snapshot.after"
shadow='\./etc/shadow-\?\( -> \)\?$'
if ! diff -u <(grep -v "$shadow" "$work/snapshot.before") <(grep -v "$shadow" "$work/snapshot.after"); then
  fail "the purge left the system different from before the install"
fi
left=$(cd "$root" && grep -rlI quarvel etc usr var/lib --exclude-dir=dpkg --exclude-dir=apt 2>/dev/null || true)
[ -z "$left" ] || fail "files that name quarvel are left: $left"

# The system goes (its mounts first: /dev is the machine's own); on a failure
# it stays in OUT/e2e/root to be looked at.
umount -R "$root/dev" "$root/proc"
rm -rf --one-file-system "$root"
step "passed"
