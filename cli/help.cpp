#include "cli/help.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>
#include <vector>

#include "cli/install_facts.h"
#include "cli/options.h"
#include "cli/real_machine.h"
#include "cli/joined.h"

namespace halcyon::cli {

namespace {

constexpr const char *kMachineRule =
    "the emulated machine folder: --machine DIR when given, else $HALCYON_MACHINE, else\n"
    "$XDG_STATE_HOME/halcyon/machine (~/.local/state/halcyon/machine when XDG_STATE_HOME is unset)";

// On Windows the commands work on the machine they run on.
constexpr const char *kWindowsMachine =
    "  (this machine)         the commands work on this machine: its registry and drives.\n"
    "                         %HALCYON_MACHINE%, else %ProgramData%\\Halcyon, holds the identity\n"
    "                         override file machine.ini and the runs' own files (factory\\: journal,\n"
    "                         plan, log, temp). factory-run applies the image to --target (default\n"
    "                         .\\halcyon-sample\\target); the installers act on this machine (C:, HKLM).\n";

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

bool IsLowerWord(const std::string &w)
{
    if (w.empty() || !std::islower(static_cast<unsigned char>(w[0])))
        return false;
    for (char c : w)
        if (!std::islower(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)) && c != '-')
            return false;
    return true;
}

// The subcommand words a usage text names right after the command's name:
// "halcyon wim info WIM" gives "info", "mui register|unregister" both,
// "mui languages | is-lpc | select NAME | recover-bcd" all four.
std::set<std::string> Subcommands(const Command &cmd)
{
    std::set<std::string> found;
    for (const auto &line : Lines(cmd.usage)) {
        std::vector<std::string> w = Words(line);
        size_t i = 0;
        if (i < w.size() && w[i] == "usage:")
            ++i;
        if (i < w.size() && w[i] == "halcyon")
            ++i;
        if (i >= w.size() || w[i] != cmd.name)
            continue;
        const size_t first = i + 1;
        for (i = first; i < w.size(); ++i) {
            if (i != first && w[i - 1] != "|")
                continue;
            std::stringstream parts(w[i]);
            for (std::string part; std::getline(parts, part, '|');)
                if (IsLowerWord(part))
                    found.insert(part);
        }
    }
    return found;
}

// Text as roff: escapes, hyphens as minus signs (so options can be copied),
// no line taken for a request.
std::string Roff(const std::string &text)
{
    std::string out;
    for (const auto &line : Lines(text)) {
        if (!line.empty() && (line[0] == '.' || line[0] == '\''))
            out += "\\&";
        for (char c : line) {
            if (c == '\\')
                out += "\\e";
            else if (c == '-')
                out += "\\-";
            else
                out += c;
        }
        out += '\n';
    }
    return out;
}

std::string Join(const std::set<std::string> &words) { return Joined(words, " "); }

} // namespace

const char *Version()
{
    return HALCYON_VERSION;
}

std::string OverviewText()
{
    std::string out = std::string(kRealMachine ? "usage: halcyon COMMAND [ARGS...]\n"
                                               : "usage: halcyon [--machine DIR] COMMAND [ARGS...]\n") +
                      "       halcyon COMMAND --help\n"
                      "       halcyon --version\n\ncommands:\n";
    char line[512];
    for (const auto &c : Commands()) {
        std::snprintf(line, sizeof line, "  %-22s %s\n", c.name.c_str(), c.summary.c_str());
        out += line;
    }
    out += "\noptions (before the command or among its arguments):\n";
    if (kRealMachine) {
        out += kWindowsMachine;
    } else {
        out += "  --machine DIR          ";
        for (char ch : std::string(kMachineRule))
            out += ch == '\n' ? std::string("\n                         ") : std::string(1, ch);
        out += "\n";
    }
    out += "  --help, -h             this text, or after a command that command's arguments\n"
           "  --version              the version\n"
           "\n'halcyon help COMMAND' or 'halcyon COMMAND --help' shows a command's arguments;\n"
           "'halcyon help --man' and 'halcyon help --bash-completion' print the manual page and the\n"
           "completion script.\n";
    return out;
}

std::string CommandText(const Command &cmd)
{
    return cmd.summary + "\nusage: " + cmd.usage + "\n";
}

std::string ManualPage()
{
    std::string out;
    out += ".TH HALCYON 1 \"\" \"halcyon " + std::string(Version()) + "\" \"User Commands\"\n";
    out += ".SH NAME\nhalcyon \\- factory install and recovery of a PC on an emulated machine\n";
    out += ".SH SYNOPSIS\n.B halcyon\n[\\fB\\-\\-machine\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR...]\n.br\n"
           ".B halcyon\n\\fICOMMAND\\fR \\fB\\-\\-help\\fR\n.br\n.B halcyon \\-\\-version\n";
    out += ".SH DESCRIPTION\n"
           "The command-line front end of the setup engine. Each command drives one of the engine's verbs\n"
           "the way the maker's front ends do (build an install plan, apply the operating-system image,\n"
           "install the plan's modules across restarts, restore recovery media, verify what was laid\n"
           "down, choose the display language), or works on the emulated machine directly (registry,\n"
           "WIM files, CRC manifests, IDF queries, versions).\n"
           ".PP\n"
           "\\fBhalcyon factory\\-run \\-\\-sample\\fR installs a machine end to end from built-in sample data.\n";
    out += ".SH OPTIONS\n"
           ".TP\n\\fB\\-\\-machine\\fR \\fIDIR\\fR\n" + Roff(std::string(kMachineRule) + ".") +
           "Accepted before the command or among its arguments; every command follows this one rule.\n"
           ".TP\n\\fB\\-\\-help\\fR, \\fB\\-h\\fR\nThe list of commands; after a command, its arguments.\n"
           ".TP\n\\fB\\-\\-version\\fR\nThe version.\n";
    out += ".SH COMMANDS\n";
    for (const auto &c : Commands()) {
        out += ".SS " + Roff(c.name);
        out += Roff(c.summary);
        out += ".PP\n.nf\n" + Roff(c.usage) + ".fi\n";
    }
    out += ".SH ENVIRONMENT\n"
           ".TP\n.B HALCYON_MACHINE\nThe emulated machine folder when \\fB\\-\\-machine\\fR is not given.\n"
           ".TP\n.B XDG_STATE_HOME\nHolds the default machine folder \\fIhalcyon/machine\\fR.\n"
           ".TP\n.B HALCYON_ECHO\nWhere the engine's own console lines go (\\fIMakeIniX Begin\\fR, progress lines):\n"
           "\\fBstdout\\fR (the default), \\fBstderr\\fR or \\fBoff\\fR. The libraries read it too, so a program\n"
           "calling them routes or silences the lines the same way; the log keeps them either way.\n";
    out += ".SH FILES\n"
           ".TP\n.I MACHINE/registry.db\nThe machine's registry.\n"
           ".TP\n.I MACHINE/machine.ini\nThe machine's identity and state.\n"
           ".TP\n.I MACHINE/drives/LETTER/\nThe machine's drives (drive C: is \\fIdrives/c\\fR).\n";
    out += ".SH EXIT STATUS\n"
           "Every command exits with one of:\n"
           ".TP\n.B 0\nSuccess.\n"
           ".TP\n.B 1\nFailure: the command could not do its work, or a check it ran found a fault. Standard\n"
           "error says why, with the engine's code and its name.\n"
           ".TP\n.B 2\nUsage error: an unknown command or option, a missing or malformed argument. Nothing\n"
           "was changed.\n"
           ".TP\n.B 3\nPartial result: the work was done in part (an installer ran but its version check\n"
           "failed; a check could not be run to its end; a restart was requested).\n"
           ".TP\n.B 130\nInterrupted (Ctrl\\-C); 128 plus the signal's number for other signals. A run stopped\n"
           "this way resumes where it stopped.\n"
           ".PP\nWith \\fB\\-\\-json\\fR, a run refused before it started prints\n"
           "{\"schemaVersion\":1,\"result\":1,\"error\":\"...\"} on standard output as well.\n";
    out += ".SH SEE ALSO\nThe documents installed with the package under \\fI/usr/share/doc/halcyon\\fR.\n";
    return out;
}

std::string BashCompletion()
{
    std::set<std::string> names, valueOptions{"--machine"};
    for (const auto &c : Commands())
        names.insert(c.name);
    std::string cases;
    for (const auto &c : Commands()) {
        const UsageOptions usage = OptionsOf(c);
        std::set<std::string> opts = usage.names;
        valueOptions.insert(usage.withValue.begin(), usage.withValue.end());
        opts.insert({"--help", "--machine"});
        std::set<std::string> subs = Subcommands(c);
        cases += "    " + c.name + ")\n        opts=\"" + Join(opts) + "\"\n";
        if (!subs.empty())
            cases += "        ((COMP_CWORD == at + 1)) && words=\"" + Join(subs) + "\"\n";
        cases += "        ;;\n";
    }
    std::string valued;
    for (const auto &o : valueOptions)
        valued += (valued.empty() ? "" : "|") + o;
    // Option values and other arguments fall back to file names.
    return "# bash completion for halcyon (made by \"halcyon help --bash-completion\")\n"
           "_halcyon()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local cmd= at=0 i words= opts=\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "        --machine) ((i++)) ;;\n"
           "        -*) ;;\n"
           "        *) cmd=${COMP_WORDS[i]} at=$i; break ;;\n"
           "        esac\n"
           "    done\n"
           "    case $prev in\n"
           "    " + valued + ")\n"
           "        COMPREPLY=()\n"
           "        return\n"
           "        ;;\n"
           "    esac\n"
           "    case $cmd in\n"
           "    \"\")\n"
           "        words=\"help " + Join(names) + "\" opts=\"--machine --help --version\"\n"
           "        ;;\n"
           "    help)\n"
           "        ((COMP_CWORD == at + 1)) && words=\"" + Join(names) + "\"\n"
           "        ;;\n" +
           cases +
           "    *)\n"
           "        opts=\"--help --machine\"\n"
           "        ;;\n"
           "    esac\n"
           "    [[ $cur == -* ]] && words=$opts\n"
           "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "}\n"
           "complete -o default -F _halcyon halcyon\n";
}

} // namespace halcyon::cli
