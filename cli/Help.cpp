#include "cli/Help.h"

namespace cli {

// What `rekey` keeps and refuses: in the whole help and in rekey's own.
constexpr const char* RekeyText =
    "correcting one key (rekey):\n"
    "  the segments, the other keys and the multiple-choice key stay as the last run\n"
    "  had them. The question's column and the scores that change are rewritten, the\n"
    "  corrected run is recorded, 统计_<表名>.txt is rewritten and the key appended to\n"
    "  标准答案历史.log, all as a full scoring run with the corrected key would.\n"
    "  Refused (exit 1, nothing changed): a question keyed x or z, N beyond the\n"
    "  single-choice questions, L not one of A-F, a table never scored. L equal to\n"
    "  the current key: a notice, exit 0; when the last run or correction was ended\n"
    "  before its 统计_<表名>.txt or its 标准答案历史.log entry was written, they are\n"
    "  written then (the table is not changed).\n"
    "\n";

std::string HelpText(const std::string& commandUsage, const std::filesystem::path& home,
                     bool rekey) {
    return "usage: quillory-cli [--home DIR] [--go-on] [--reimport] COMMAND TABLE.dbf [options]\n"
           "       quillory-cli [COMMAND] --help\n"
           "\n"
           "commands:\n" +
           commandUsage +
           "\n"
           "global options:\n"
           "  --home DIR    the home folder: data.mdb, config.ini, the reports and the logs.\n"
           "                Default: the QUILLORY_HOME environment variable, else the folder\n"
           "                of the executable, or, when it cannot be written to, the per-user\n"
           "                folder $XDG_DATA_HOME/quillory (~/.local/share/quillory).\n"
           "                Now: " +
           home.string() +
           "\n"
           "  --go-on       answer every question the way that lets the command go on;\n"
           "                without it a question gets the answer that stops the command\n"
           "  --reimport    when TABLE.dbf is not the file its table was imported from\n"
           "                (another path, size or contents), import it again:\n"
           "                the table's scores and recorded scoring runs are cleared.\n"
           "                Without it (--go-on alone included) the stored table is used\n"
           "                and a notice goes to stderr\n"
           "  --help        this text; after COMMAND, that command's usage only\n"
           "\n"
           "answer keys:\n"
           "  --key TEXT        one character per single-choice question, in groups of five\n"
           "                    with one separator (space, \",\" or \";\") between groups and\n"
           "                    none at the end: ABCDA;BCDAB;CD for 12 questions.\n"
           "                    A-F  the right option\n"
           "                    x    the question is left out of this run\n"
           "                    z    the question earns nothing, its column is set to 0\n"
           "                    other characters: the mark code of the accepted options\n"
           "                    (\"3\" accepts A and B). Upper and lower case differ.\n"
           "  --multi-key TEXT  the multiple-choice keys split by \";\", 1 to 4 characters\n"
           "                    each, options in the order A to F (AB, never BA); x leaves\n"
           "                    a question out\n"
           "  --segment COUNT:POINTS  COUNT single-choice questions worth POINTS each,\n"
           "                    up to four segments in question order\n"
           "\n" +
           (rekey ? std::string(RekeyText) : std::string()) +
           "exit status:\n"
           "  0  done\n"
           "  1  error (its text on stderr)\n"
           "  2  bad usage (the usage on stderr)\n"
           "  3  stopped: a question was answered the way that stops the command\n";
}

} // namespace cli
