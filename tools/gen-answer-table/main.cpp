// gen-answer-table: writes a generated answer table (.dbf) of any size.
#include "tools/gen-answer-table/AnswerTable.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    tools::AnswerTableLayout layout;
    std::string out;
    auto usage = [] {
        std::fputs("usage: gen-answer-table --out FILE.dbf [--records N] [--questions Q]\n"
                   "       [--prefix TEXT] [--classes C] [--class-digits D] [--seat-digits S]\n"
                   "       [--score none|int|float|text] [--seed S]\n"
                   "exam number = prefix + class code (D digits) + seat (S digits)\n",
                   stderr);
        return 2;
    };
    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (i + 1 >= argc)
                return usage();
            std::string v = argv[++i];
            if (a == "--out") out = v;
            else if (a == "--records") layout.records = std::stoll(v);
            else if (a == "--questions") layout.questions = std::stoi(v);
            else if (a == "--prefix") layout.prefix = v;
            else if (a == "--classes") layout.classes = std::stoi(v);
            else if (a == "--class-digits") layout.classDigits = std::stoi(v);
            else if (a == "--seat-digits") layout.seatDigits = std::stoi(v);
            else if (a == "--score") layout.score = v;
            else if (a == "--seed") layout.seed = std::stoull(v);
            else return usage();
        }
        if (out.empty())
            return usage();
        tools::WriteAnswerTable(out, layout);
        std::printf("wrote %s\n", out.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen-answer-table: %s\n", e.what());
        return 1;
    }
}
