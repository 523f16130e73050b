#!/usr/bin/env bash
# Builds the Debian source and binary packages of drill from a clean copy of this source tree and
# puts them into OUTDIR: drill_<version>.dsc, drill_<version>.tar.xz, drill_<version>_<arch>.deb,
# and the .buildinfo and .changes of the build. Nothing is signed.
#
# Usage: scripts/build-deb.sh [--previous] OUTDIR
#   --previous   label the package with the release before the newest in packaging/releases.json
#                (the same program under the older version, to test an upgrade)
#
# The copy holds the files git knows in this checkout, as they are now (committed or not, but
# nothing that .gitignore leaves out, such as build/ and release/); outside a git checkout (an
# unpacked source package, a `git archive`), everything but .git and what builds and releases
# leave in the tree. OUTDIR itself is never copied, wherever it is. The copy is made in OUTDIR/work,
# because dpkg-buildpackage writes the packages next to the source folder; the work folder is
# removed after a successful build and left for inspection after a failed one. Needs
# scripts/deps.sh build (debhelper, dpkg-dev).
set -euo pipefail

usage() {
  echo "usage: $0 [--previous] OUTDIR" >&2
  exit 2
}

previous=no
outdir=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --previous) previous=yes ;;
    -*) usage ;;
    *) [[ -z "$outdir" ]] || usage; outdir=$1 ;;
  esac
  shift
done
[[ -n "$outdir" ]] || usage

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
work=$outdir/work
rm -rf "$work"
mkdir -p "$work/drill"
copy=$work/drill

# The clean copy. OUTDIR, when it lies inside the source tree, is left out: the copy is being
# written into it.
outside=
case "$outdir/" in
  "$source_dir"/*) outside=${outdir#"$source_dir"/} ;;
esac
# A git checkout only when the source tree is the top of one: an unpacked source package inside
# another checkout (in its build/, say) is no checkout of its own, and git would list none of it.
if [[ "$(git -C "$source_dir" rev-parse --show-toplevel 2>/dev/null)" == "$source_dir" ]]; then
  (cd "$source_dir" &&
    git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' path; do
      # a file deleted in the checkout but not yet in git is not copied
      [[ -n $outside && ( $path == "$outside" || $path == "$outside"/* ) ]] && continue
      [[ -e "$path" || -L "$path" ]] && printf '%s\0' "$path"
    done |
    tar --null --no-recursion -T - -cf -) | tar -xf - -C "$copy"
else
  # What builds and releases leave in the tree (as .gitignore lists it: a source package carries
  # no .gitignore), and, in a tree that has one (a `git archive`), the top .gitignore's patterns
  # as tar's: "/x" is anchored at the top, "x/" names a folder (tar matches a folder's name the
  # same), and a pattern without "/" matches at any depth.
  excludes=(--exclude=./.git --exclude='./build*' --exclude=./release --exclude=./shots
            --exclude='./obj-*' --exclude=__pycache__ --exclude='*.swp'
            --exclude=./debian/.debhelper --exclude=./debian/drill --exclude=./debian/files
            --exclude='./debian/*.substvars' --exclude=./debian/debhelper-build-stamp
            --exclude='./debian/*.debhelper.log')
  [[ -n $outside ]] && excludes+=("--exclude=./$outside")
  if [[ -f "$source_dir/.gitignore" ]]; then
    while IFS= read -r pattern || [[ -n $pattern ]]; do
      pattern=${pattern%/}
      case "$pattern" in
        '' | '#'*) ;;
        '!'*) echo "$0: .gitignore's negated pattern $pattern is not understood here" >&2; exit 1 ;;
        /*) excludes+=("--exclude=.$pattern") ;;
        */*) excludes+=("--exclude=./$pattern") ;;
        *) excludes+=("--exclude=$pattern") ;;
      esac
    done <"$source_dir/.gitignore"
  fi
  tar -C "$source_dir" "${excludes[@]}" -cf - . | tar -xf - -C "$copy"
fi

# The committed changelog must tell the releases of releases.json: a package must not carry a
# version that the list does not give.
cmake -DOUTPUT="$work/changelog.expected" -P "$copy/packaging/debian_changelog.cmake"
if ! cmp -s "$work/changelog.expected" "$copy/debian/changelog"; then
  echo "$0: debian/changelog does not tell the releases of packaging/releases.json;" >&2
  echo "  run: cmake -P packaging/debian_changelog.cmake" >&2
  exit 1
fi
if [[ $previous == yes ]]; then
  cmake -DPREVIOUS=ON -P "$copy/packaging/debian_changelog.cmake"
fi

version=$(dpkg-parsechangelog -l "$copy/debian/changelog" -S Version)
mv "$copy" "$work/drill-$version"
copy=$work/drill-$version

# As many jobs as the machine has cores, unless the caller chose.
if [[ " ${DEB_BUILD_OPTIONS:-} " != *" parallel="* ]]; then
  export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)"
fi
(cd "$copy" && dpkg-buildpackage -us -uc)

results=()
for file in "$work"/drill_"$version"*; do
  mv -f "$file" "$outdir/"
  results+=("$outdir/$(basename "$file")")
done
rm -rf "$work"
printf '%s\n' "${results[@]}"
