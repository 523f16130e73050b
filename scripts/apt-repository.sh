#!/usr/bin/env bash
# Makes a flat apt repository of Debian packages: the folder that a school serves from any web
# server or shared folder, and that its PCs name in one line of their apt sources:
#   deb [signed-by=/etc/apt/keyrings/drill.gpg] <address of the folder>/ ./
#
# Usage: scripts/apt-repository.sh OUTDIR PACKAGE.deb...
# With DRILL_APT_KEY (a key in gpg's keyring; GNUPGHOME is honoured) the Release file is signed
# (InRelease and Release.gpg) and the public key is exported as drill.gpg (for /etc/apt/keyrings)
# and drill.asc. Without it the repository is unsigned and apt takes it only with [trusted=yes].
set -euo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: $0 OUTDIR PACKAGE.deb..." >&2
  exit 2
fi
out=$1
shift
mkdir -p "$out"
cp -p "$@" "$out"/
cd "$out"

# The dates in Release are the newest package's build date, so that the same packages give the
# same repository.
epoch=${SOURCE_DATE_EPOCH:-$(for deb in *.deb; do stat -c %Y "$deb"; done | sort -n | tail -1)}
apt-ftparchive packages . > Packages
gzip -9n < Packages > Packages.gz
apt-ftparchive \
  -o APT::FTPArchive::Release::Origin=drill \
  -o APT::FTPArchive::Release::Label=drill \
  -o APT::FTPArchive::Release::Description="drill, an addition drill for second-year pupils" \
  release . > Release.new
# apt-ftparchive writes the current time; the repository's own date is the packages'.
sed -i "s/^Date: .*/Date: $(LC_ALL=C date -u -d "@$epoch" '+%a, %d %b %Y %H:%M:%S UTC')/" Release.new
mv Release.new Release

if [[ -n ${DRILL_APT_KEY:-} ]]; then
  gpg --batch --yes --local-user "$DRILL_APT_KEY" --clearsign -o InRelease Release
  gpg --batch --yes --local-user "$DRILL_APT_KEY" --armor --detach-sign -o Release.gpg Release
  gpg --batch --yes --export "$DRILL_APT_KEY" > drill.gpg
  gpg --batch --yes --armor --export "$DRILL_APT_KEY" > drill.asc
fi
