#!/usr/bin/env bash
# The completion scripts of `murex --completion SHELL` run in the real shells, on the bundled
# household ledger: each case types a line and compares what the shell would offer for its
# last word. bash runs its completion function on COMP_WORDS/COMP_CWORD, with compopt standing
# in for readline's file names; zsh runs _murex after compinit, with compadd and _files
# standing in for the completion widgets; fish asks
# its own completion engine (complete -C). A shell that is not installed is skipped.
#   tests/completion.sh MUREX    (from the source root)
set -u
murex=$(realpath "$1")
export PATH="$(dirname "$murex"):$PATH"
[ "$(basename "$murex")" = murex ] || { echo "the binary must be named murex" >&2; exit 1; }
export HOME=$(mktemp -d) XDG_CONFIG_HOME=
trap 'rm -rf "$HOME"' EXIT
l=examples/household.ledger

# shell | the words typed, the last one being completed | what is offered, sorted
cases=(
  "bash|murex $l mo|mon monthly"
  "bash|murex $l mon --b|--balance"
  "bash|murex $l check --|--completion --help --man --version"
  "bash|murex $l acc -p 2025Q|2025Q1 2025Q2 2025Q3 2025Q3C 2025Q4"
  "bash|murex $l acc Gr|Groceries"
  "bash|murex -a $l mon F|Fees Fund"
  "bash|murex $l inv W|WORLD"
  "bash|murex $l acc Bank |"
  "bash|murex $l import |(files)"
  "bash|murex $l import x.csv -r |(files)"
  "bash|murex --completion z|zsh"
  "zsh|murex $l mo|mon monthly"
  "zsh|murex $l mon --b|--balance"
  "zsh|murex $l acc -p 2025Q|2025Q1 2025Q2 2025Q3 2025Q3C 2025Q4"
  "zsh|murex $l acc Gr|Groceries"
  "zsh|murex -f x $l inv W|WORLD"
  "zsh|murex examples/hou|(files)"
  "zsh|murex $l import x.csv --rules |(files)"
  "zsh|murex --completion f|fish"
  "fish|murex $l mo|mon monthly"
  "fish|murex $l mon --b|--balance"
  "fish|murex $l acc -p 2025Q|2025Q1 2025Q2 2025Q3 2025Q3C 2025Q4"
  "fish|murex $l acc Gr|Groceries"
  "fish|murex $l inv W|WORLD"
  "fish|murex examples/household.l|examples/household.ledger"
  "fish|murex $l import examples/household.l|examples/household.ledger"
  "fish|murex $l import x.csv -r examples/household.l|examples/household.ledger"
  "fish|murex --completion b|bash"
)

# What the shell offers for the words "$@", one per line.
offered() {
  local shell=$1
  shift
  case $shell in
    bash)
      bash --norc --noprofile -c '
        source <(murex --completion bash)
        [ "$(complete -p murex)" = "complete -F _murex murex" ] || echo "not registered"
        compopt() { [[ $* == "-o default" ]] && COMPREPLY=("(files)"); }
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _murex
        [ "${#COMPREPLY[@]}" = 0 ] || printf "%s\n" "${COMPREPLY[@]}"' _ "$@" ;;
    zsh)
      zsh -f -c '
        autoload -U compinit && compinit -u -D
        source <(murex --completion zsh)
        [[ $_comps[murex] == _murex ]] || echo "not registered"
        compadd() { [[ $1 == -- ]] && shift; local w; for w; do [[ $w == ${words[CURRENT]}* ]] && print -r -- $w; done; }
        _files() { print "(files)"; }
        words=("$@"); CURRENT=$#
        _murex' _ "$@" ;;
    fish)
      fish --no-config -c 'murex --completion fish | source; complete -C (string join " " -- $argv)' \
        "$@" | cut -f1 ;;
  esac
}

failed=0
ran=0
for c in "${cases[@]}"; do
  IFS='|' read -r shell line want <<<"$c"
  command -v "$shell" >/dev/null || continue
  read -r -a words <<<"$line"
  [[ $line == *" " ]] && words+=("")
  got=$(offered "$shell" "${words[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  ran=$((ran + 1))
  if [ "$got" != "$want" ]; then
    echo "FAIL $shell: '$line' offers '$got', expected '$want'"
    failed=$((failed + 1))
  fi
done
echo "$ran cases, $failed failed"
[ "$ran" -gt 0 ] || exit 77
[ "$failed" = 0 ]
