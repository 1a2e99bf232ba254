#include "completion.h"

#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "args.h"

namespace murex {

namespace {

// What the completion offers for a word: the scripts' names of the word kinds; "" for
// nothing (free text, an ignored argument).
std::string_view offered(WordKind kind) {
  switch (kind) {
    case WordKind::Period:
      return "period";  // the names command's --periods
    case WordKind::Account:
      return "account";
    case WordKind::Kind:
      return "kind";
    case WordKind::File:
      return "file";
    case WordKind::Shell:
      return "shell";
    default:
      return "";
  }
}

std::string joined(const std::vector<std::string_view>& words, std::string_view sep) {
  std::string out;
  for (const std::string_view w : words) {
    if (!out.empty()) out += sep;
    out += w;
  }
  return out;
}

std::vector<std::string_view> optionWords(const Option& o) {
  std::vector<std::string_view> words;
  if (!o.shortForm.empty()) words.push_back(o.shortForm);
  words.push_back(o.longForm);
  return words;
}

bool fitsCommand(const Option& o, std::string_view longForm) {
  const std::string spaced = " " + std::string(o.commands) + " ";
  return o.commands.empty() || spaced.find(" " + std::string(longForm) + " ") != spaced.npos;
}

// Every option word, or those that fit the command longForm ("" for any).
std::vector<std::string_view> allOptions(std::string_view longForm) {
  std::vector<std::string_view> words;
  for (const Option& o : optionTable()) {
    if (!longForm.empty() && !fitsCommand(o, longForm)) continue;
    for (const std::string_view w : optionWords(o)) words.push_back(w);
  }
  return words;
}

std::vector<std::string_view> commandWords() {
  std::vector<std::string_view> words;
  for (const Command& c : commandTable()) words.push_back(c.word);
  return words;
}

// The long forms in the table's order, each once.
std::vector<std::string_view> longForms() {
  std::vector<std::string_view> forms;
  for (const Command& c : commandTable())
    if (forms.empty() || forms.back() != c.longForm) forms.push_back(c.longForm);
  return forms;
}

std::vector<std::string_view> wordsOf(std::string_view longForm) {
  std::vector<std::string_view> words;
  for (const Command& c : commandTable())
    if (c.longForm == longForm) words.push_back(c.word);
  return words;
}

std::vector<std::string_view> valueOptionWords() {
  std::vector<std::string_view> words;
  for (const Option& o : optionTable())
    if (o.value != nullptr)
      for (const std::string_view w : optionWords(o)) words.push_back(w);
  return words;
}

// The branches of a case statement on a word, in the syntax of bash (open "w1|w2)") or of
// zsh ("(w1|w2)"): what each option's value, each command's options and each command's
// argument is.
struct Branches {
  std::string pending;    // on the option waiting for its value: kind=...
  std::string options;    // on the command: opts='...'
  std::string arguments;  // on the command: kind=...
};

Branches branches(bool zsh, std::string_view indent) {
  const auto pattern = [zsh](const std::vector<std::string_view>& words) {
    return (zsh ? "(" : "") + joined(words, "|") + ")";
  };
  Branches b;
  for (const Option& o : optionTable()) {
    if (o.value == nullptr || offered(o.valueKind).empty()) continue;
    b.pending += std::string(indent) + pattern(optionWords(o)) + " kind=" +
                 std::string(offered(o.valueKind)) + " ;;\n";
  }
  for (const std::string_view form : longForms()) {
    b.options += std::string(indent) + pattern(wordsOf(form)) + " opts='" +
                 joined(allOptions(form), " ") + "' ;;\n";
  }
  b.options += std::string(indent) + (zsh ? "(*)" : "*)") + " opts='" +
               joined(allOptions(""), " ") + "' ;;\n";
  for (const Command& c : commandTable()) {
    if (offered(c.argument).empty()) continue;
    b.arguments += std::string(indent) + pattern({c.word}) + " kind=" +
                   std::string(offered(c.argument)) + " ;;\n";
  }
  return b;
}

std::string shellWords() {
  return joined(std::vector<std::string_view>(std::begin(completionShells),
                                              std::end(completionShells)),
                " ");
}

std::string bashScript() {
  const Branches b = branches(false, "      ");
  std::string s =
      "# bash completion for murex, written by `murex --completion bash` from its own tables.\n"
      "# Installed it is found by bash-completion; else: source <(murex --completion bash)\n"
      "_murex_names() {\n"
      "  local murex=$1 ledger=$2\n"
      "  [[ $murex == \"~/\"* ]] && murex=$HOME/${murex#\"~/\"}\n"
      "  [[ $ledger == \"~/\"* ]] && ledger=$HOME/${ledger#\"~/\"}\n"
      "  [[ -n $ledger ]] && \"$murex\" \"$ledger\" names \"$3\" 2>/dev/null\n"
      "}\n"
      "\n"
      "_murex() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} ledger= command= pending= kind= opts= w i n=0\n"
      "  # The words before the cursor: the first that is neither an option nor an option's\n"
      "  # value is the ledger, the second the command.\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    w=${COMP_WORDS[i]}\n"
      "    if [[ -n $pending ]]; then pending=; continue; fi\n"
      "    case $w in\n"
      "      " + joined(valueOptionWords(), "|") + ") pending=$w ;;\n"
      "      -*) ;;\n"
      "      *) n=$((n + 1)); ((n == 1)) && ledger=$w; ((n == 2)) && command=$w ;;\n"
      "    esac\n"
      "  done\n"
      "  COMPREPLY=()\n"
      "  if [[ -n $pending ]]; then\n"
      "    case $pending in\n" + b.pending +
      "    esac\n"
      "  elif [[ $cur == -* ]]; then\n"
      "    case $command in\n" + b.options +
      "    esac\n"
      "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
      "  elif ((n == 0)); then\n"
      "    kind=file\n"
      "  elif ((n == 1)); then\n"
      "    kind=command\n"
      "  elif ((n == 2)); then\n"
      "    case $command in\n" + b.arguments +
      "    esac\n"
      "  fi\n"
      "  case $kind in\n"
      "    file) compopt -o default 2>/dev/null ;;\n"
      "    command) COMPREPLY=($(compgen -W '" + joined(commandWords(), " ") +
      "' -- \"$cur\")) ;;\n"
      "    shell) COMPREPLY=($(compgen -W '" + shellWords() + "' -- \"$cur\")) ;;\n"
      "    account | kind | period)\n"
      "      COMPREPLY=($(compgen -W \"$(_murex_names \"${COMP_WORDS[0]}\" \"$ledger\" "
      "--${kind}s)\" -- \"$cur\")) ;;\n"
      "  esac\n"
      "}\n"
      "complete -F _murex murex\n";
  return s;
}

std::string zshScript() {
  const Branches b = branches(true, "      ");
  return "#compdef murex\n"
         "# zsh completion for murex, written by `murex --completion zsh` from its own tables.\n"
         "# Installed it is found in $fpath; else, after compinit: source <(murex --completion zsh)\n"
         "_murex_names() {\n"
         "  local murex=${1/#\\~/$HOME} ledger=${2/#\\~/$HOME}\n"
         "  [[ -n $ledger ]] && \"$murex\" \"$ledger\" names \"$3\" 2>/dev/null\n"
         "}\n"
         "\n"
         "_murex() {\n"
         "  local cur=${words[CURRENT]} ledger= command= pending= kind= opts= w\n"
         "  local -i i n=0\n"
         "  # The words before the cursor: the first that is neither an option nor an option's\n"
         "  # value is the ledger, the second the command.\n"
         "  for ((i = 2; i < CURRENT; i++)); do\n"
         "    w=${words[i]}\n"
         "    if [[ -n $pending ]]; then pending=; continue; fi\n"
         "    case $w in\n"
         "      (" + joined(valueOptionWords(), "|") + ") pending=$w ;;\n"
         "      (-*) ;;\n"
         "      (*) n+=1; ((n == 1)) && ledger=$w; ((n == 2)) && command=$w ;;\n"
         "    esac\n"
         "  done\n"
         "  if [[ -n $pending ]]; then\n"
         "    case $pending in\n" + b.pending +
         "    esac\n"
         "  elif [[ $cur == -* ]]; then\n"
         "    case $command in\n" + b.options +
         "    esac\n"
         "    compadd -- ${=opts}\n"
         "  elif ((n == 0)); then\n"
         "    kind=file\n"
         "  elif ((n == 1)); then\n"
         "    kind=command\n"
         "  elif ((n == 2)); then\n"
         "    case $command in\n" + b.arguments +
         "    esac\n"
         "  fi\n"
         "  case $kind in\n"
         "    (file) _files ;;\n"
         "    (command) compadd -- " + joined(commandWords(), " ") + " ;;\n"
         "    (shell) compadd -- " + shellWords() + " ;;\n"
         "    (account|kind|period)\n"
         "      compadd -- ${(f)\"$(_murex_names \"${words[1]}\" \"$ledger\" --${kind}s)\"} ;;\n"
         "  esac\n"
         "}\n"
         "\n"
         "if [[ $funcstack[1] == _murex ]]; then _murex \"$@\"; else compdef _murex murex; fi\n";
}

std::string fishScript() {
  std::string s =
      "# fish completion for murex, written by `murex --completion fish` from its own tables.\n"
      "# Installed it is found by fish; else: murex --completion fish | source\n"
      "# The words before the cursor that are neither options nor an option's value: the\n"
      "# ledger, the command, its argument.\n"
      "function __murex_words\n"
      "    set -l pending\n"
      "    for w in (commandline -opc)[2..-1]\n"
      "        if test -n \"$pending\"\n"
      "            set pending\n"
      "            continue\n"
      "        end\n"
      "        switch $w\n"
      "            case " + joined(valueOptionWords(), " ") + "\n"
      "                set pending $w\n"
      "            case '-*'\n"
      "            case '*'\n"
      "                printf '%s\\n' $w\n"
      "        end\n"
      "    end\n"
      "end\n"
      "\n"
      "# ledger: the ledger is next; command: the command; else the argument of one of the\n"
      "# command words given.\n"
      "function __murex_needs\n"
      "    set -l words (__murex_words)\n"
      "    switch $argv[1]\n"
      "        case ledger\n"
      "            test (count $words) -eq 0\n"
      "        case command\n"
      "            test (count $words) -eq 1\n"
      "        case '*'\n"
      "            test (count $words) -eq 2; and contains -- $words[2] $argv\n"
      "    end\n"
      "end\n"
      "\n"
      "# An option fits while no command is given, or when it is one of the words given.\n"
      "function __murex_fits\n"
      "    set -l words (__murex_words)\n"
      "    test (count $words) -lt 2; or contains -- $words[2] $argv\n"
      "end\n"
      "\n"
      "function __murex_names\n"
      "    set -l words (__murex_words)\n"
      "    test (count $words) -ge 1; or return\n"
      "    set -l murex (string replace -r '^~/' ~/ -- (commandline -opc)[1])\n"
      "    set -l ledger (string replace -r '^~/' ~/ -- $words[1])\n"
      "    command $murex $ledger names $argv 2>/dev/null\n"
      "end\n"
      "\n"
      "complete -c murex -f\n"
      "complete -c murex -n '__murex_needs ledger' -F\n"
      "complete -c murex -n '__murex_needs command' -a '" + joined(commandWords(), " ") + "'\n";
  for (const Command& c : commandTable()) {
    const std::string_view kind = offered(c.argument);
    if (kind.empty()) continue;
    s += "complete -c murex -n '__murex_needs " + std::string(c.word) + "' ";
    s += kind == "file" ? "-F" : "-a '(__murex_names --" + std::string(kind) + "s)'";
    s += '\n';
  }
  for (const Option& o : optionTable()) {
    s += "complete -c murex";
    if (!o.commands.empty()) {
      std::vector<std::string_view> words;
      for (const Command& c : commandTable())
        if (fitsCommand(o, c.longForm)) words.push_back(c.word);
      s += " -n '__murex_fits " + joined(words, " ") + "'";
    }
    if (!o.shortForm.empty()) s += " -s " + std::string(o.shortForm.substr(1));
    s += " -l " + std::string(o.longForm.substr(2));
    const std::string_view kind = offered(o.valueKind);
    if (o.value != nullptr) s += kind == "file" ? " -r -F" : " -x";
    if (kind == "shell") s += " -a '" + shellWords() + "'";
    if (kind == "period" || kind == "account" || kind == "kind")
      s += " -a '(__murex_names --" + std::string(kind) + "s)'";
    s += '\n';
  }
  return s;
}

}  // namespace

std::string completionScript(std::string_view shell) {
  if (shell == "bash") return bashScript();
  if (shell == "zsh") return zshScript();
  assert(shell == "fish");
  return fishScript();
}

}  // namespace murex
