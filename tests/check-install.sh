#!/usr/bin/env bash
# Checks what a user gets from installing murex. Called by the CTest tests of tests/ship.cmake:
#   check-install.sh man MANPAGE MUREX  the page renders without a warning and documents every
#                                       option and command of the binary's usage page
#   check-install.sh install BUILD      cmake --install gives a murex that runs from anywhere,
#                                       with its shell completions where the shells look
#   check-install.sh package BUILD      cpack builds a .deb with the right name, version,
#                                       dependencies and files; its murex runs when unpacked
#   check-install.sh packager SOURCE    a packager's build: Release, GoogleTest absent, no
#                                       warnings as errors; it configures with the tests
#                                       off, builds, installs and runs
# Exit status 0 passes, 77 skips (a tool is missing and cannot be installed), anything else fails.
set -u

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/murex-check.XXXXXX") || fail "no temporary folder"
trap 'rm -rf "$tmp"' EXIT

# Installs the Debian package that provides a missing tool, when we may (CI runs as root).
need() {
  local tool=$1 pkg=$2
  command -v "$tool" >/dev/null && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "installing $pkg for $tool" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq --no-install-recommends "$pkg" >/dev/null 2>&1 ||
      { apt-get update -qq >/dev/null 2>&1 &&
        apt-get install -y -qq --no-install-recommends "$pkg" >/dev/null 2>&1; }
  fi
  command -v "$tool" >/dev/null && return 0
  echo "SKIP: $tool (package $pkg) is not available" >&2
  exit 77
}

# Runs an installed murex -v from a folder that has nothing of the source tree.
checkVersion() {
  local murex=$1 out status
  mkdir -p "$tmp/elsewhere"
  out=$(cd "$tmp/elsewhere" && env -u XDG_CONFIG_HOME HOME="$tmp/elsewhere" "$murex" -v 2>&1)
  status=$?
  [ "$status" = 0 ] || fail "$murex -v ended with status $status: $out"
  [ "$out" = $'murex version 1.0.1\nBuild-date: 2024-07-14' ] ||
    fail "$murex -v printed: $out"
}

checkMan() {
  local page=$1 murex=$2 warnings text usage line word
  [ -f "$page" ] || fail "no man page at $page"
  need groff groff-base
  warnings=$(groff -man -Tutf8 -ww -rCHECKSTYLE=3 -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about $page:"$'\n'"$warnings"
  # Rendered without line filling, so that a term never breaks across lines.
  text=$( (printf '.na\n.nh\n.ll 1000n\n'; cat "$page") | groff -man -Tutf8 -rLL=1000n -P-cbou 2>&1)
  usage=$(HOME="$tmp" XDG_CONFIG_HOME="$tmp" "$murex" -h 2>&1)
  local options=0 commands=0 inCommands=0
  while IFS= read -r line; do
    case $line in
      "Commands and their arguments:") inCommands=1 ;;
      "Options"*) inCommands=0 ;;
      -?", --"*)
        options=$((options + 1))
        word=${line#*, }
        for word in "${line%%,*}" "${word%% *}"; do
          grep -qF -- "$word" <<<"$text" || fail "the man page does not show the option $word"
        done ;;
      [a-z]*)
        if [ "$inCommands" = 1 ]; then
          commands=$((commands + 1))
          word=${line%% <*}
          grep -qF -- "$word" <<<"$text" || fail "the man page does not show the command '$word'"
        fi ;;
    esac
  done <<<"$usage"
  [ "$options" -ge 7 ] || fail "the usage page of $murex lists $options options, not 7"
  [ "$commands" -ge 4 ] || fail "the usage page of $murex lists $commands commands, not 4"
  # The ledger example of the page must be one that murex reads.
  awk '/^ +[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] Opening$/ { match($0, /^ +/); cut = RLENGTH }
       cut && /^$/ { exit }
       cut { print substr($0, cut + 1) }' <<<"$text" >"$tmp/example.ledger"
  [ -s "$tmp/example.ledger" ] || fail "the man page has no ledger example"
  local report
  report=$(HOME="$tmp" XDG_CONFIG_HOME="$tmp" "$murex" "$tmp/example.ledger" acc 2>&1) ||
    fail "murex does not read the man page's ledger example:"$'\n'"$report"
  # Each console example runs on the bundled ledger from the source tree's root.
  local root examples=0
  root=$(cd "$(dirname "$page")/.." && pwd)
  while IFS= read -r line; do
    line=${line#"${line%%[! ]*}"}
    line=${line%%>*}
    eval "set -- $line"
    [ $# -ge 3 ] || continue
    examples=$((examples + 1))
    shift
    report=$(cd "$root" && HOME="$tmp" XDG_CONFIG_HOME="$tmp" "$murex" "$@" 2>&1) ||
      fail "the man page's example '$line' fails:"$'\n'"$report"
  done < <(sed -n '/^EXAMPLES$/,/^[A-Z]/p' <<<"$text" | grep '^ *murex examples/')
  [ "$examples" -ge 4 ] || fail "the man page shows $examples console examples, fewer than 4"
  for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS FILES "LEDGER FORMAT" \
    "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -q "^$section\$" <<<"$text" || fail "the man page has no section $section"
  done
}

# The completion scripts under root (a prefix), in dir of zsh, are what the program writes.
checkCompletions() {
  local root=$1 zshDir=$2 murex=$3 shell file
  for shell in bash zsh fish; do
    case $shell in
      bash) file=$root/share/bash-completion/completions/murex ;;
      zsh) file=$root/share/zsh/$zshDir/_murex ;;
      fish) file=$root/share/fish/vendor_completions.d/murex.fish ;;
    esac
    [ -f "$file" ] || fail "no $shell completion at $file"
    cmp -s "$file" <("$murex" --completion "$shell") ||
      fail "$file is not what murex --completion $shell writes"
  done
}

checkInstall() {
  local build=$1 prefix="$tmp/prefix"
  cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$tmp/install.log")"
  [ -x "$prefix/bin/murex" ] || fail "no $prefix/bin/murex"
  [ -f "$prefix/share/man/man1/murex.1" ] || fail "no $prefix/share/man/man1/murex.1"
  local extra
  extra=$(cd "$prefix" && find . -type f ! -path ./bin/murex ! -path ./share/man/man1/murex.1 \
    ! -path ./share/bash-completion/completions/murex ! -path ./share/zsh/site-functions/_murex \
    ! -path ./share/fish/vendor_completions.d/murex.fish)
  [ -z "$extra" ] ||
    fail "cmake --install put more files than murex, its man page and completions: $extra"
  checkVersion "$prefix/bin/murex"
  checkCompletions "$prefix" site-functions "$prefix/bin/murex"
}

checkPackage() {
  local build=$1 deb field
  need dpkg-deb dpkg
  need dpkg-shlibdeps dpkg-dev
  (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") \
    >"$tmp/cpack.log" 2>&1 || fail "cpack failed: $(cat "$tmp/cpack.log")"
  deb=$(find "$tmp/out" -maxdepth 1 -name 'murex_1.0.1_*.deb' | head -n 1)
  [ -n "$deb" ] || fail "cpack made no murex_1.0.1_*.deb: $(ls "$tmp/out")"
  dpkg-deb -I "$deb" >"$tmp/info" || fail "dpkg-deb -I cannot read $deb"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = murex ] || fail "package name is '$(field Package)'"
  [ "$(field Version)" = 1.0.1 ] || fail "package version is '$(field Version)'"
  [ -n "$(field Maintainer)" ] || fail "the package has no maintainer"
  [ -n "$(field Section)" ] || fail "the package has no section"
  case $(field Depends) in
    *libc6*) ;;
    *) fail "the package dependencies miss libc6: '$(field Depends)'" ;;
  esac
  # A short description and at least one line of the long one.
  [ "$(grep -c '^  *[^ ]' <<<"$(field Description)")" -ge 1 ] ||
    fail "the package has no long description"
  dpkg-deb -c "$deb" >"$tmp/contents" || fail "dpkg-deb -c cannot read $deb"
  grep -q ' \./usr/bin/murex$' "$tmp/contents" || fail "no usr/bin/murex in the package"
  grep -q ' \./usr/share/man/man1/murex\.1' "$tmp/contents" || fail "no man page in the package"
  local files
  files=$(grep -v '/$' "$tmp/contents" | grep -v -e ' \./usr/bin/murex$' \
    -e ' \./usr/share/man/man1/murex\.1' -e ' \./usr/share/bash-completion/completions/murex$' \
    -e ' \./usr/share/zsh/vendor-completions/_murex$' \
    -e ' \./usr/share/fish/vendor_completions\.d/murex\.fish$')
  [ -z "$files" ] ||
    fail "the package holds more than murex, its man page and completions: $files"
  dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x cannot unpack $deb"
  checkVersion "$tmp/root/usr/bin/murex"
  checkCompletions "$tmp/root/usr" vendor-completions "$tmp/root/usr/bin/murex"
  # dpkg -i into a root of its own: a real install through dpkg's database, without
  # touching the machine's own (the libraries it depends on are the machine's).
  local root="$tmp/dpkgroot"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless \
    --log=/dev/null -i "$deb" >"$tmp/dpkg.log" 2>&1 ||
    fail "dpkg -i failed: $(cat "$tmp/dpkg.log")"
  [ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' murex)" = \
    "install ok installed 1.0.1" ] || fail "dpkg does not list murex 1.0.1 as installed"
  checkVersion "$root/usr/bin/murex"
}

checkPackagerBuild() {
  local source=$1 build="$tmp/build" prefix="$tmp/prefix"
  # GoogleTest hidden from the search, as on a machine without it.
  cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$tmp/configure.log" 2>&1 ||
    fail "configuring without GoogleTest failed: $(cat "$tmp/configure.log")"
  grep -q "GoogleTest not found: the tests are off" "$tmp/configure.log" ||
    fail "configuring without GoogleTest does not say that the tests are off"
  ! grep -q -- "-Werror" "$build/compile_commands.json" ||
    fail "a packager's build treats warnings as errors"
  cmake --build "$build" -j2 >"$tmp/build.log" 2>&1 ||
    fail "the Release build failed: $(tail -n 30 "$tmp/build.log")"
  cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$tmp/install.log")"
  checkVersion "$prefix/bin/murex"
}

case ${1:-} in
  man) [ $# = 3 ] || fail "usage: $0 man MANPAGE MUREX"; checkMan "$2" "$3" ;;
  install) [ $# = 2 ] || fail "usage: $0 install BUILD"; checkInstall "$2" ;;
  package) [ $# = 2 ] || fail "usage: $0 package BUILD"; checkPackage "$2" ;;
  packager) [ $# = 2 ] || fail "usage: $0 packager SOURCE"; checkPackagerBuild "$2" ;;
  *) fail "usage: $0 man|install|package|packager ..." ;;
esac
echo "ok: $1"
