#!/usr/bin/env bash
# Makes everything a release publishes, into one folder (default: release/<version>):
#   drill_<version>.dsc, drill_<version>.tar.xz   the Debian source package
#   drill_<version>_<arch>.deb                    the Debian binary package (+ .buildinfo, .changes)
#   apt/                                          a flat apt repository of the .deb: Packages,
#                                                 Release, and, when a key is given, InRelease,
#                                                 Release.gpg and the key to install (drill.gpg)
#   Drill-<version>-x86.msi, Drill-<version>-x64.msi   the Windows Installer packages
#   Drill.exe                                     the portable 32-bit Windows program
#   drill-<version>-web.zip                       the web site, to unpack on a web server or share
#   SHA256SUMS                                    the checksums of all of the above
#
# Usage: scripts/release.sh [OUTDIR]
# Environment (all optional):
#   DRILL_SIGN_PFX, DRILL_SIGN_PASSWORD   a code-signing certificate (PFX) and its password:
#                                         Drill.exe is signed before it goes into the MSIs, and
#                                         the MSIs after they are made
#   DRILL_APT_KEY                         the OpenPGP key (a fingerprint or user id in gpg's
#                                         keyring, GNUPGHOME if set) that signs the apt repository
# Without them the release is made all the same, and the summary at the end says what is unsigned.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

# The newest release in releases.json names the version, and its time is the time stamped into
# the packages and archives, so that the same source makes the same files.
read -r version stamp < <(python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["releases"][0]
print(r["version"], r["date"])' packaging/releases.json)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -u -d "$stamp" +%s)}
out=$(realpath -m "${1:-release/$version}")
if [[ -e $out ]] && [[ -n "$(ls -A "$out")" ]]; then
  echo "release.sh: $out is not empty; give an empty or new folder" >&2
  exit 2
fi
mkdir -p "$out"
echo "== drill $version into $out"

scripts/deps.sh release
jobs=$(nproc)

signing=no
if [[ -n ${DRILL_SIGN_PFX:-} ]]; then
  [[ -r $DRILL_SIGN_PFX ]] || { echo "release.sh: cannot read DRILL_SIGN_PFX=$DRILL_SIGN_PFX" >&2; exit 2; }
  [[ -n ${DRILL_SIGN_PASSWORD+set} ]] || { echo "release.sh: DRILL_SIGN_PFX needs DRILL_SIGN_PASSWORD" >&2; exit 2; }
  # The build reads the certificate while it runs, from its own folder: the path must not depend
  # on where the build looks from.
  DRILL_SIGN_PFX=$(realpath "$DRILL_SIGN_PFX")
  export DRILL_SIGN_PFX DRILL_SIGN_PASSWORD
  signing=yes
fi
if [[ -n ${DRILL_APT_KEY:-} ]]; then
  # Fail before the long builds when the key cannot sign.
  gpg --batch --list-secret-keys "$DRILL_APT_KEY" >/dev/null 2>&1 ||
    { echo "release.sh: gpg has no secret key for DRILL_APT_KEY=$DRILL_APT_KEY" >&2; exit 2; }
fi

echo "== Debian source and binary packages"
scripts/build-deb.sh "$out"

echo "== Windows packages"
for preset in windows windows64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target drill_msi
done
cp build/windows/Drill-"$version"-x86.msi build/windows64/Drill-"$version"-x64.msi "$out"/
# The portable program is the same file as the one the 32-bit MSI carries (signed with it).
cp build/windows/Drill.exe "$out"/

echo "== web site"
cmake --preset web >/dev/null
cmake --build --preset web -j"$jobs"
# Sorted names and the release's time make the archive the same for the same site.
python3 - "$source/build/web/site" "$out/drill-$version-web.zip" <<'EOF'
import os, sys, zipfile
import time
site, archive = sys.argv[1:]
stamp = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as zf:
    for folder, dirs, files in sorted(os.walk(site)):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            info = zipfile.ZipInfo(os.path.join("drill", os.path.relpath(path, site)),
                                   stamp)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                zf.writestr(info, f.read())
EOF

echo "== apt repository"
scripts/apt-repository.sh "$out/apt" "$out"/drill_"$version"_*.deb

echo "== checksums"
(cd "$out" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  xargs -d '\n' sha256sum > SHA256SUMS)

echo "== drill $version is in $out"
(cd "$out" && LC_ALL=C ls -1p)
if [[ $signing == yes ]]; then
  echo "Windows: Drill.exe and both MSIs are code-signed"
else
  echo "Windows: UNSIGNED (no DRILL_SIGN_PFX): Drill.exe and the MSIs carry no code signature"
fi
if [[ -n ${DRILL_APT_KEY:-} ]]; then
  echo "apt repository: signed with $DRILL_APT_KEY"
else
  echo "apt repository: UNSIGNED (no DRILL_APT_KEY): apt accepts it only with [trusted=yes]"
fi
