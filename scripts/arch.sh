# Which Windows architectures this host can run under Wine, and how to build
# and run a program of each. Sourced by the other scripts, never run; the
# answer to "can this host run 32-bit code" is given here and nowhere else.
#
# Some kernels run 64-bit user code only: there the 32-bit Wine loader fails
# with "Exec format error", and Debian's `wine` wrapper still picks it. So
# nothing here calls `wine`: each architecture names its own loader.
#
# HALYARD_ARCHS=win64 (or win32, or "win32 win64") overrides the probe, so the
# path of a host that runs only 64-bit code can be tried anywhere.

HALYARD_ALL_ARCHS="win32 win64"

# The loader that runs programs of ARCH.
halyard_loader() {
  case $1 in
    win32) echo /usr/lib/wine/wine ;;
    win64) echo /usr/lib/wine/wine64 ;;
    *) echo "arch: unknown architecture '$1' (win32 or win64)" >&2; return 2 ;;
  esac
}

halyard_triplet() {
  case $1 in
    win32) echo i686-w64-mingw32 ;;
    win64) echo x86_64-w64-mingw32 ;;
    *) echo "arch: unknown architecture '$1' (win32 or win64)" >&2; return 2 ;;
  esac
}

# "32-bit" or "64-bit", for what the scripts print.
halyard_bits() { [ "$1" = win64 ] && echo 64-bit || echo 32-bit; }

# The Debian package that brings the loader of ARCH.
halyard_loader_package() { [ "$1" = win64 ] && echo wine64 || echo "wine32:i386"; }

# Empty when this host runs programs of ARCH; otherwise one line saying why not.
halyard_cannot_run() {
  local arch=$1 loader out
  if [ -n "${HALYARD_ARCHS:-}" ]; then
    case " $HALYARD_ARCHS " in
      *" $arch "*) ;;
      *) echo "HALYARD_ARCHS=\"$HALYARD_ARCHS\" leaves it out"; return 0 ;;
    esac
  fi
  if ! loader=$(halyard_loader "$arch" 2>/dev/null); then
    echo "unknown architecture '$arch' (win32 or win64)"
    return 0
  fi
  if [ ! -x "$loader" ]; then
    echo "$loader is missing (Debian package $(halyard_loader_package "$arch"))"
    return 0
  fi
  if ! out=$("$loader" --version 2>&1 </dev/null); then
    case $out in
      *"Exec format error"*) echo "this kernel runs 64-bit code only ($loader: Exec format error)" ;;
      *) echo "$loader --version failed: $(printf '%s' "$out" | head -n 1)" ;;
    esac
  fi
  return 0
}

# The architectures this host runs, in build order (32-bit first: the 64-bit
# setup program carries the 32-bit service object too).
halyard_runnable_archs() {
  local arch list=""
  for arch in $HALYARD_ALL_ARCHS; do
    [ -z "$(halyard_cannot_run "$arch")" ] && list="$list $arch"
  done
  echo "${list# }"
}

# Exports what every Wine call of ARCH in PREFIX needs; halyard_wine and
# `wineserver` below then run the right programs.
halyard_wine_env() {
  local arch=$1 prefix=$2
  export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=${WINEDEBUG:--all}
  WINELOADER=$(halyard_loader "$arch") || return 2
  export WINELOADER
}

# The one way a script or test runs a Windows program, Wine's own (reg,
# regsvr32, wineboot, winepath, cmd ...) included: through the loader of the
# exported architecture. Debian's wrappers of those names pick the 32-bit
# loader whenever wine32:i386 is installed, even on a kernel that cannot run
# it; tests/build_bed/wrapper_calls.sh keeps them out of the tree.
# Usage: halyard_wine PROGRAM [ARGS...]
halyard_wine() {
  if [ -z "${WINELOADER:-}" ]; then
    echo "arch: halyard_wine $1 called before halyard_wine_env" >&2
    return 2
  fi
  "$WINELOADER" "$@"
}

# A path converted by Wine's winepath (-w: Unix to Windows, -u: Windows to
# Unix). A conversion that fails or answers nothing says why on stderr and
# fails, so that a caller never goes on with an empty path.
# Usage: halyard_winepath -w|-u PATH
halyard_winepath() {
  local how=$1 path=$2 out err rc=0
  err=$(mktemp) || return 1
  out=$(halyard_wine winepath "$how" "$path" </dev/null 2>"$err") || rc=$?
  out=${out//$'\r'/}
  if [ "$rc" -ne 0 ] || [ -z "$out" ] || [[ $out == *$'\n'* ]]; then
    echo "arch: winepath $how '$path' failed (exit $rc, answered '$out'): $(head -n 3 "$err" | tr '\n' ' ')" >&2
    rm -f "$err"
    return 1
  fi
  rm -f "$err"
  printf '%s\n' "$out"
}

# The Windows form of an absolute Unix path through Wine's Z: drive, which
# every prefix maps to /; pure text, for scripts that run before a prefix.
halyard_z_path() { printf 'Z:%s' "${1//\//\\}"; }

# The build tree of ARCH under the build root.
halyard_build_dir() { echo "$1/$2"; }

# Configures and builds the tree of ARCH into BUILD_DIR; extra arguments go
# to cmake's configure step. Fails naming the step.
halyard_build() {
  local root=$1 arch=$2 dir=$3; shift 3
  local triplet
  triplet=$(halyard_triplet "$arch") || return 2
  if ! command -v "$triplet-g++-posix" >/dev/null; then
    echo "build: $triplet-g++-posix is missing (Debian package g++-mingw-w64-$( [ "$arch" = win64 ] && echo x86-64 || echo i686)-posix; scripts/setup.sh installs it)" >&2
    return 1
  fi
  mkdir -p "$dir"
  # A compiler cache, where the host has one, makes a second tree of the
  # same sources (a worktree, a fresh clone) cheap to build.
  local launcher=()
  command -v ccache >/dev/null &&
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if ! cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" \
         -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" -DMINGW_TRIPLET="$triplet" \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir/configure.log" 2>&1; then
    echo "build: configuring the $(halyard_bits "$arch") tree ($dir) failed:" >&2
    tail -n 30 "$dir/configure.log" >&2
    return 1
  fi
  # Paths relative to the tree's root, so that trees at other paths share hits.
  if ! CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1 cmake --build "$dir" -j"$(nproc)"; then
    echo "build: building the $(halyard_bits "$arch") tree ($dir) failed (see the errors above)" >&2
    return 1
  fi
}

# Names the failing command of a script that stops under `set -e`, so no
# step ends in silence. Usage: halyard_name_failures SCRIPT_NAME
halyard_name_failures() {
  set -E  # functions and subshells report too
  # shellcheck disable=SC2064
  trap "halyard_report_failure '$1' \$? \$LINENO \"\$BASH_COMMAND\"" ERR
}
halyard_report_failure() {
  echo "$1: stopped with exit code $2 at line $3: $4" >&2
}
