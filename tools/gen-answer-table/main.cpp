// gen-answer-table: writes a generated answer table (.dbf) of any size.
#include "tools/gen-answer-table/AnswerTable.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

namespace {

int Usage() {
    std::fputs("usage: gen-answer-table --out FILE.dbf [--records N] [--questions Q]\n"
               "       [--prefix TEXT] [--classes C] [--class-digits D] [--seat-digits S]\n"
               "       [--score none|int|float|text] [--seed S]\n"
               "       [--model uniform|irt] [--multi M] [--options K] [--key-out FILE]\n"
               "exam number = prefix + class code (D digits) + seat (S digits)\n"
               "--model irt draws the marks from an item-response model; the last M questions\n"
               "are multiple choice, every question has K options (default 4); --key-out writes\n"
               "the key used: line 1 the single-choice key (--key), line 2 the multiple-choice\n"
               "key (--multi-key), as the score command takes them\n",
               stderr);
    return 2;
}

void WriteKey(const std::string& file, const tools::AnswerKey& key) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << key.single << '\n' << key.multi << '\n';
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + file);
}

} // namespace

int main(int argc, char** argv) {
    tools::AnswerTableLayout layout;
    std::string out, keyOut;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (i + 1 >= argc)
                return Usage();
            std::string v = argv[++i];
            if (a == "--out")
                out = v;
            else if (a == "--records")
                layout.records = std::stoll(v);
            else if (a == "--questions")
                layout.questions = std::stoi(v);
            else if (a == "--prefix")
                layout.prefix = v;
            else if (a == "--classes")
                layout.classes = std::stoi(v);
            else if (a == "--class-digits")
                layout.classDigits = std::stoi(v);
            else if (a == "--seat-digits")
                layout.seatDigits = std::stoi(v);
            else if (a == "--score")
                layout.score = v;
            else if (a == "--seed")
                layout.seed = std::stoull(v);
            else if (a == "--model")
                layout.model = v;
            else if (a == "--multi")
                layout.multi = std::stoi(v);
            else if (a == "--options")
                layout.options = std::stoi(v);
            else if (a == "--key-out")
                keyOut = v;
            else
                return Usage();
        }
        if (out.empty())
            return Usage();
        if (layout.model != "irt" && (!keyOut.empty() || layout.multi != 0)) {
            std::fputs("gen-answer-table: --multi and --key-out need --model irt\n", stderr);
            return 2;
        }
        const tools::AnswerKey key = tools::WriteAnswerTable(out, layout);
        std::printf("wrote %s\n", out.c_str());
        if (!keyOut.empty()) {
            WriteKey(keyOut, key);
            std::printf("wrote %s\n", keyOut.c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen-answer-table: %s\n", e.what());
        return 1;
    }
}
