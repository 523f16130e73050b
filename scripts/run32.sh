#!/usr/bin/env bash
# Lets this machine run 32-bit x86 programs, which the shipped Windows build's tests need: its
# Drill.exe runs under 32-bit Wine, whose loader is a 32-bit Linux program.
#
# Usage: scripts/run32.sh route|setup
#   route   prints how 32-bit programs run here and exits 0, or prints "none" and exits 1:
#             native  the kernel runs them itself (IA-32 emulation)
#             qemu    through qemu's user-mode emulator, registered with binfmt_misc
#   setup   as root, makes the qemu route where the kernel cannot run 32-bit programs, and does
#           nothing where it can or where the route is made already. It installs qemu-user
#           (version 10 or later: 7.2's emulator ignores MAP_FIXED_NOREPLACE and wineboot fails
#           with "failed to map the shared user data") from the release's backports suite when the
#           release itself has an older one, with the archive address that the machine's own apt
#           sources give for the release, and registers qemu-i386 for 32-bit x86 programs.
#
# The registration lives in the running kernel only: run setup again after every boot
# (scripts/deps.sh test and scripts/deps.sh windows do). It is made with flag P only (the program
# keeps its own name as argv[0]), not F, so that the emulator is looked up at every start and an
# upgraded qemu is taken at once.
#
# Known limit of the qemu route: a hardware exception in 32-bit code reaches the program with the
# wrong code (an access violation arrives as an illegal instruction); a test that faults on
# purpose would see that.
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
entry=qemu-i386
qemu=/usr/bin/qemu-i386
qemu_minimum=1:10
# 32-bit x86 executables and shared objects (ET_EXEC, ET_DYN), as qemu's own binfmt setup
# describes them. Bytes 8 to 15 of the header (ABI version and padding) must be zero.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
magic_hex=7f454c4601010100000000000000000002000300

# Whether the kernel itself runs a 32-bit program. The probe is the smallest static 32-bit
# program (exit(32) through int 0x80), with a non-zero padding byte in its header: the kernel
# ignores that byte, while the binfmt_misc entry above does not match the probe, so the answer is
# the kernel's own even where the qemu route is registered.
kernel_runs_32bit() {
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/run32-probe.XXXXXX")
  # ELF header: 32-bit, little-endian, version 1, padding byte 9 = 1; ET_EXEC, EM_386,
  # entry 0x08048054, program headers at 52, one of them.
  printf '\x7fELF\x01\x01\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00' >"$probe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"
  # PT_LOAD of the whole file (96 bytes) at 0x08048000, readable and executable.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
  # mov eax, 1 (exit); mov ebx, 32; int 0x80
  printf '\xb8\x01\x00\x00\x00\xbb\x20\x00\x00\x00\xcd\x80' >>"$probe"
  chmod +x "$probe"
  status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [[ $status -eq 32 ]]
}

# The enabled binfmt_misc entry that takes 32-bit x86 programs, if any (binfmt_misc is asked
# before the kernel's own loader, so such an entry decides how they run).
registered_entry() {
  local file
  [[ -r $binfmt/status ]] || return 1
  [[ $(cat "$binfmt/status") == enabled ]] || return 1
  for file in "$binfmt"/*; do
    [[ $file == */register || $file == */status ]] && continue
    if grep -qx enabled "$file" 2>/dev/null && grep -qx "magic $magic_hex" "$file" 2>/dev/null; then
      echo "$file"
      return 0
    fi
  done
  return 1
}

qemu_version_ok() {
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  [[ -n $version ]] && dpkg --compare-versions "$version" ge "$qemu_minimum" && [[ -x $qemu ]]
}

# Our entry as it should be: enabled, our emulator, flag P alone.
entry_ok() {
  local file=$binfmt/$entry
  [[ -r $file ]] && grep -qx enabled "$file" && grep -qx "interpreter $qemu" "$file" &&
    grep -qx "flags: P" "$file" && grep -qx "magic $magic_hex" "$file"
}

route() {
  if registered_entry >/dev/null; then
    echo qemu
  elif kernel_runs_32bit; then
    echo native
  else
    echo none
    return 1
  fi
}

install_qemu() {
  local codename candidate lock=(-o DPkg::Lock::Timeout=900) target=()
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  export DEBIAN_FRONTEND=noninteractive
  candidate=$(apt-cache policy qemu-user 2>/dev/null | sed -n 's/^ *Candidate: //p')
  if [[ -z $candidate || $candidate == "(none)" ]] ||
     ! dpkg --compare-versions "$candidate" ge "$qemu_minimum"; then
    [[ -n $codename ]] || { echo "run32.sh: /etc/os-release names no release codename" >&2; exit 1; }
    # The release's own archive, at the address the machine's apt sources give, for the
    # backports suite too (scripts/apt-sources.py reads both source formats).
    local here file=/etc/apt/sources.list.d/${codename}-backports.sources
    here=$(dirname "$0")
    if ! "$here/apt-sources.py" "${codename}-backports" >/dev/null; then
      "$here/apt-sources.py" --as "${codename}-backports" "$codename" >"$file.new" || {
        rm -f "$file.new"
        echo "run32.sh: no apt source of the release $codename in /etc/apt: cannot add ${codename}-backports" >&2
        exit 1
      }
      mv "$file.new" "$file"
      echo "run32.sh: added ${codename}-backports from the machine's own archive: $file"
    fi
    apt-get "${lock[@]}" update -qq
    target=(-t "${codename}-backports")
  fi
  apt-get "${lock[@]}" install -y -qq --no-install-recommends "${target[@]}" qemu-user
  qemu_version_ok || { echo "run32.sh: qemu-user $qemu_minimum or later did not install" >&2; exit 1; }
}

register() {
  if [[ ! -e $binfmt/register ]]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  [[ $(cat "$binfmt/status") == enabled ]] || echo 1 >"$binfmt/status"
  # Another registration of the same name (an older emulator, flag F) is replaced.
  if [[ -e $binfmt/$entry ]]; then
    echo -1 >"$binfmt/$entry"
  fi
  printf ':%s:M::%s:%s:%s:P\n' "$entry" "$magic" "$mask" "$qemu" >"$binfmt/register"
}

setup() {
  # Quiet when there is nothing to do: deps.sh asks on every run.
  if kernel_runs_32bit; then
    return 0
  fi
  if qemu_version_ok && entry_ok; then
    return 0
  fi
  if [[ $(id -u) -ne 0 ]]; then
    echo "This kernel cannot run 32-bit programs, and the qemu route for them is not set up." >&2
    echo "As root, run: scripts/run32.sh setup   (or scripts/deps.sh windows)" >&2
    exit 1
  fi
  qemu_version_ok || install_qemu
  entry_ok || register
  entry_ok || { echo "run32.sh: the binfmt_misc registration of $qemu did not take" >&2; exit 1; }
  echo "run32.sh: 32-bit programs run through $qemu ($(dpkg-query -W -f='${Version}' qemu-user)), registered with binfmt_misc"
}

case "${1:-}" in
  route) route ;;
  setup) setup ;;
  *) echo "usage: $0 route|setup" >&2; exit 2 ;;
esac
