#!/bin/sh
# Makes the Debian package from a build and checks it as Debian would:
#   check-package.sh BUILD-DIR OUT-DIR HARDENED(0|1)
# Fails on any error or warning of lintian, on maintainer scripts (the
# package needs none), on a Maintainer field other than the copyright file's
# Upstream-Contact, and, when HARDENED is 1, on a hardening feature lintian
# finds missing. Exits 77 (skipped) when lintian is not installed.
set -eu
build=$1 out=$2 hardened=$3
if ! command -v lintian >/dev/null 2>&1; then
  echo "check-package: lintian is not installed (apt-get install lintian); skipped"
  exit 77
fi
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.txt" 2>&1 || {
  cat "$out/cpack.txt"
  exit 1
}
deb=$(ls "$out"/tessel-kit_*.deb)
echo "check-package: $deb"
failed=0

lintian --info --fail-on none --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1
if grep -E '^[EW]: ' "$out/lintian.txt"; then
  echo "check-package: lintian reports the errors and warnings above"
  failed=1
fi
# lintian's fortify check looks at the checked functions a binary calls, so
# it names a library that calls none; the other features are all or nothing.
if [ "$hardened" = 1 ] && grep -E 'hardening-no-(relro|bindnow|stackprotector|pie)' "$out/lintian.txt"; then
  echo "check-package: a hardening feature is missing (above)"
  failed=1
fi

scripts=$(dpkg-deb -I "$deb" | grep -oE '\b(preinst|postinst|prerm|postrm|triggers)\b' || true)
if [ -n "$scripts" ]; then
  echo "check-package: the package has maintainer scripts it does not need: $scripts"
  failed=1
fi

dpkg-deb -x "$deb" "$out/root"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
contact=$(sed -n 's/^Upstream-Contact: //p' "$out/root/usr/share/doc/tessel-kit/copyright")
if [ "$maintainer" != "$contact" ]; then
  echo "check-package: Maintainer \"$maintainer\" is not the copyright's Upstream-Contact \"$contact\""
  failed=1
fi

if [ "$failed" = 0 ]; then
  echo "check-package: lintian reports no error and no warning; no maintainer scripts; maintainer $maintainer"
fi
exit "$failed"
