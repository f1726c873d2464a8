#!/usr/bin/env bash
# check-packages.sh BUILD_DIR VERSION
# Makes the two Debian packages from an already built tree, unpacks them into
# a throwaway root and fails, naming it, on every missing or wrong piece.
set -uo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
arch=$(dpkg --print-architecture)
client=$work/out/vantrel-im_${version}_${arch}.deb
server=$work/out/vantrel-server_${version}_${arch}.deb
for deb in "$client" "$server"; do
    [ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $(basename "$deb")"; exit 1; }
done

# field PACKAGE NAME: one control field
field() { dpkg-deb --field "$1" "$2"; }
# relation FIELD PACKAGE NAME...: each name is in the field (Depends,
# Recommends), not only a word in one
relation() {
    local kind=$1 deb=$2
    shift 2
    local list
    list=$(field "$deb" "$kind" | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g')
    for name in "$@"; do
        grep -qx "$name" <<<"$list" || fail "$(basename "$deb") lacks $name in $kind: $(field "$deb" "$kind")"
    done
}
depends() { relation Depends "$@"; }
[ "$(field "$client" Version)" = "$version" ] || fail "client version $(field "$client" Version)"
[ "$(field "$server" Version)" = "$version" ] || fail "server version $(field "$server" Version)"
# What the linker saw, and what Qt loads by name at run time.
depends "$client" libqt6widgets6 libqt6network6 libqt6gui6 libstdc++6 qt6-translations-l10n
depends "$server" libqt6sql6 libqt6network6 libsodium23 libqt6sql6-sqlite adduser libgnutls30
# Loaded only when asked for: TLS's trust store, the PostgreSQL driver.
relation Recommends "$client" ca-certificates
relation Recommends "$server" libqt6sql6-psql
if field "$server" Depends | grep -q 'libqt6widgets6\|libqt6gui6'; then
    fail "the server pulls in the desktop: $(field "$server" Depends)"
fi

root=$work/root
dpkg-deb -x "$client" "$root"
dpkg-deb -x "$server" "$root"
for path in \
    usr/bin/vantrel-im \
    usr/share/applications/vantrel-im.desktop \
    usr/share/metainfo/vantrel-im.metainfo.xml \
    usr/share/icons/hicolor/16x16/apps/vantrel-im.png \
    usr/share/icons/hicolor/256x256/apps/vantrel-im.png \
    usr/share/doc/vantrel-im/copyright \
    usr/share/doc/vantrel-im/changelog.gz \
    usr/share/man/man1/vantrel-im.1.gz \
    usr/bin/vantrel-server \
    usr/bin/vantrel-peer \
    usr/lib/vantrel-server/vantrel-server-tls.so \
    lib/systemd/system/vantrel-server.service \
    etc/default/vantrel-server \
    usr/share/doc/vantrel-server/copyright \
    usr/share/doc/vantrel-server/examples/sample-accounts.tsv \
    usr/share/man/man8/vantrel-server.8.gz; do
    [ -e "$root/$path" ] || fail "no /$path"
done
if dpkg-deb -c "$client" | grep -q 'vantrel-server'; then
    fail "the client's package holds a piece of the server"
fi
for deb in "$client" "$server"; do
    if dpkg-deb -c "$deb" | awk '{print $2}' | grep -vqx 'root/root'; then
        fail "a file of $(basename "$deb") is not root's"
    fi
done

# The packaged programs run on this system's libraries.
"$root/usr/bin/vantrel-server" --version | grep -qF "$version" || fail "vantrel-server --version"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/vantrel-im" --version | grep -qF "$version" || fail "vantrel-im --version"
# The packaged server finds its TLS module where it was installed.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 \
    -keyout "$work/tls-key.pem" -out "$work/tls-cert.pem" >/dev/null 2>&1 || fail "openssl req"
timeout 3 "$root/usr/bin/vantrel-server" --data "$work/tls-data" --listen 127.0.0.1 --port 0 \
    --tls-cert "$work/tls-cert.pem" --tls-key "$work/tls-key.pem" 2>"$work/tls.log"
grep -q "listening on .* with TLS" "$work/tls.log" || { cat "$work/tls.log"; fail "vantrel-server with TLS"; }

# The maintainer scripts: the server's user is made at installation.
control=$work/control
dpkg-deb -e "$server" "$control"
grep -qx /etc/default/vantrel-server "$control/conffiles" || fail "/etc/default/vantrel-server is no conffile"
stubs=$work/stubs
mkdir -p "$stubs"
for tool in getent adduser install deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n[ "%s" != getent ]\n' "$tool" "$work/calls" "$tool" >"$stubs/$tool"
    chmod +x "$stubs/$tool"
done
PATH=$stubs:$PATH sh "$control/postinst" configure || fail "postinst configure"
grep -q '^adduser .*--system.* vantrel$' "$work/calls" || fail "postinst makes no system user: $(cat "$work/calls")"

desktop-file-validate "$root/usr/share/applications/vantrel-im.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/vantrel-im.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/vantrel-im.metainfo.xml" ||
    fail "the metainfo file names no release $version"
# The unit as installed, its program where the test unpacked it (the manual
# page it names is checked above).
sed "s#/usr/bin/vantrel-server#$root/usr/bin/vantrel-server#" "$root/lib/systemd/system/vantrel-server.service" \
    >"$work/vantrel-server.service"
systemd-analyze verify --man=no "$work/vantrel-server.service" || fail "systemd-analyze verify"
for deb in "$client" "$server"; do
    lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1 ||
        { cat "$work/lintian.log"; fail "lintian $(basename "$deb")"; }
done

[ "$failures" -eq 0 ] && echo "both packages are complete"
exit $((failures > 0))
