#!/usr/bin/env bash
# Builds the report server's Debian package with Debian's own tools:
# dpkg-shlibdeps computes Depends from the binary, dpkg-gencontrol writes the
# control file, dpkg-deb builds the package and lintian checks it (no errors
# allowed). Prints the package's path and, on the last line, its Depends.
#
#   build_server_deb.sh BINARY VERSION WORK OUT
#
# BINARY: the optimised vnscope-server; WORK: a scratch folder (emptied);
# OUT: where vnscope-server_VERSION_amd64.deb goes.
set -euo pipefail
mkdir -p "$3" "$4"
BINARY=$(realpath "$1") VERSION=$2 WORK=$(realpath "$3") OUT=$(realpath "$4")
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PACKAGE=vnscope-server
STAGE=$WORK/debian/$PACKAGE
DOC=$STAGE/usr/share/doc/$PACKAGE

rm -rf "$WORK" && mkdir -p "$WORK/debian"
cp "$ROOT/release/debian/control" "$WORK/debian/control"
# The changelog of this native package: one entry for the release, dated by
# the commit it was built from so that the same commit gives the same package.
{
  printf '%s (%s) unstable; urgency=medium\n\n' vnscope "$VERSION"
  printf '  * Release %s, revision %s.\n\n' "$VERSION" "$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  printf ' -- %s  %s\n' "$(sed -n 's/^Maintainer: //p' "$ROOT/release/debian/control")" \
    "$(git -C "$ROOT" log -1 --format=%cD 2>/dev/null || date -R)"
} >"$WORK/debian/changelog"

install -D -m 0755 "$BINARY" "$STAGE/usr/sbin/vnscope-server"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$STAGE/usr/sbin/vnscope-server"
install -d -m 0755 "$STAGE/lib/systemd/system"
sed 's|@VNSCOPE_SERVER_BINARY@|/usr/sbin/vnscope-server|' "$ROOT/server/vnscope-server.service.in" \
  >"$STAGE/lib/systemd/system/vnscope-server.service"
install -D -m 0644 "$ROOT/server/vnscope-server.default" "$STAGE/etc/default/vnscope-server"
install -d -m 0755 "$STAGE/usr/share/man/man8" "$DOC/docs"
gzip -9n <"$ROOT/server/vnscope-server.8" >"$STAGE/usr/share/man/man8/vnscope-server.8.gz"
# The README's pictures sit beside it, as in the source tree's docs/.
sed 's|(\.\./docs/|(docs/|g' "$ROOT/server/README.md" | gzip -9n >"$DOC/README.md.gz"
install -m 0644 "$ROOT"/docs/dashboard-*.png "$DOC/docs/"
install -m 0644 "$ROOT/release/debian/copyright" "$DOC/copyright"
gzip -9n <"$WORK/debian/changelog" >"$DOC/changelog.gz"
install -d -m 0755 "$STAGE/DEBIAN"
install -m 0755 "$ROOT/release/debian/postinst" "$ROOT/release/debian/postrm" "$STAGE/DEBIAN/"
echo /etc/default/vnscope-server >"$STAGE/DEBIAN/conffiles"
find "$STAGE" -type f -exec chmod go-w {} + -o -type d -exec chmod 0755 {} +
chmod 0644 "$STAGE/lib/systemd/system/vnscope-server.service" "$STAGE/etc/default/vnscope-server"

(
  cd "$WORK"
  dpkg-shlibdeps -T"debian/$PACKAGE.substvars" "debian/$PACKAGE/usr/sbin/vnscope-server"
  dpkg-gencontrol -p"$PACKAGE" -T"debian/$PACKAGE.substvars" -P"debian/$PACKAGE"
  cd "$STAGE"
  find . -path ./DEBIAN -prune -o -path ./etc -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum >DEBIAN/md5sums
  chmod 0644 DEBIAN/md5sums DEBIAN/control DEBIAN/conffiles
)
DEB=$OUT/${PACKAGE}_${VERSION}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$STAGE" "$DEB" >/dev/null
lintian --allow-root --fail-on error "$DEB" >&2
echo "$DEB"
sed -n 's/^shlibs:Depends=//p' "$WORK/debian/$PACKAGE.substvars"
