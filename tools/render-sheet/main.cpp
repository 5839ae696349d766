// quillory-render: pictures of a designed answer sheet, filled and spoilt
// as scanners and phones see them, with the truth of what was filled.
#include "scan/Painting.h"
#include "tools/render-sheet/SheetPicture.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int Usage() {
    std::fputs("usage: quillory-render --layout FILE --out DIR [--page N] [--dpi D] [--count K]\n"
               "       [--seed S] [--odd SHARE] [--answers LIST] [--id DIGITS]\n"
               "       [--degrade none|random] [--turn 0|90|180|270|random] [--format png|jpg]\n"
               "writes DIR/sheet-00001.png ... from the layout's page N (1), at D dpi (300),\n"
               "K pictures (1) drawn from seed S (1). Without --answers the answers are drawn at\n"
               "random, SHARE (0.05) of them light, half, erased, ticked or crossed; --answers\n"
               "gives them: 1=A,2=BC,3=A:tick,4=C:erased (kinds: solid light half erased tick\n"
               "cross); --id the exam number. truth.csv lists every filled bubble (marked:\n"
               "what a reader should read, review_ok: whether sending it to review is right);\n"
               "sheets.csv the exam number and the degradation of every picture.\n",
               stderr);
    return 2;
}

// --answers 1=A,2=BC,3=A:tick
std::vector<tools::Fill> ParseAnswers(const std::string& list) {
    std::vector<tools::Fill> fills;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(',', start);
        const std::string part =
            list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? list.size() : end + 1;
        const auto equals = part.find('=');
        if (equals == std::string::npos)
            throw std::runtime_error("--answers: '" + part + "' is not QUESTION=LETTERS[:KIND]");
        const int question = std::stoi(part.substr(0, equals));
        std::string letters = part.substr(equals + 1);
        tools::FillKind kind = tools::FillKind::Solid;
        if (auto colon = letters.find(':'); colon != std::string::npos) {
            auto named = tools::FillFromName(letters.substr(colon + 1));
            if (!named)
                throw std::runtime_error("--answers: unknown kind in '" + part + "'");
            kind = *named;
            letters = letters.substr(0, colon);
        }
        for (char c : letters)
            fills.push_back({question, 0, std::string(1, c), kind});
    }
    return fills;
}

std::string Item(const tools::Fill& f) {
    return f.question == 0 ? "id" + std::to_string(f.digit) : std::to_string(f.question);
}

} // namespace

int main(int argc, char** argv) {
    std::string layoutFile, out, answers, id, degrade = "random", turn = "0", format = "png";
    int page = 1, count = 1;
    double dpi = 300, odd = 0.05;
    unsigned seed = 1;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (i + 1 >= argc)
                return Usage();
            const std::string v = argv[++i];
            if (a == "--layout")
                layoutFile = v;
            else if (a == "--out")
                out = v;
            else if (a == "--page")
                page = std::stoi(v);
            else if (a == "--dpi")
                dpi = std::stod(v);
            else if (a == "--count")
                count = std::stoi(v);
            else if (a == "--seed")
                seed = static_cast<unsigned>(std::stoul(v));
            else if (a == "--odd")
                odd = std::stod(v);
            else if (a == "--answers")
                answers = v;
            else if (a == "--id")
                id = v;
            else if (a == "--degrade")
                degrade = v;
            else if (a == "--turn")
                turn = v;
            else if (a == "--format")
                format = v;
            else
                return Usage();
        }
        if (layoutFile.empty() || out.empty() || (format != "png" && format != "jpg") ||
            (degrade != "none" && degrade != "random") || dpi < 50 || dpi > 1200 || count < 1)
            return Usage();
        scan::EnsurePainting();
        const scan::Layout layout = scan::LoadLayout(layoutFile);
        if (page < 1 || page > static_cast<int>(layout.pages.size()))
            throw std::runtime_error("--page: the layout has " +
                                     std::to_string(layout.pages.size()) + " page(s)");
        std::filesystem::create_directories(out);
        std::ofstream truth(std::filesystem::path(out) / "truth.csv", std::ios::binary);
        std::ofstream sheets(std::filesystem::path(out) / "sheets.csv", std::ios::binary);
        truth << "file,page,item,value,fill,marked,review_ok\r\n";
        sheets << "file,page,exam_number,turn,rotation,scale,perspective,blur,noise,jpeg,dust\r\n";
        std::mt19937 random(seed);
        const auto index = static_cast<std::size_t>(page - 1);
        for (int n = 1; n <= count; ++n) {
            std::vector<tools::Fill> fills;
            if (answers.empty() && id.empty()) {
                fills = tools::RandomFills(layout, index, random, odd);
            } else {
                fills = ParseAnswers(answers);
                for (std::size_t d = 0; d < id.size(); ++d)
                    fills.push_back({0, static_cast<int>(d + 1), std::string(1, id[d]),
                                     tools::FillKind::Solid});
            }
            const int turned =
                turn == "random"
                    ? (std::uniform_int_distribution<int>(0, 19)(random) == 0 ? 180 : 0)
                    : std::stoi(turn);
            tools::Degradation how;
            how.turn = turned;
            if (degrade == "random")
                how = tools::RandomDegradation(random, turned);
            const QImage picture =
                tools::Degrade(tools::FilledPage(layout, index, dpi, fills, random), how, random);
            char name[32];
            std::snprintf(name, sizeof name, "sheet-%05d.%s", n, format.c_str());
            const std::filesystem::path file = std::filesystem::path(out) / name;
            if (!picture.save(QString::fromStdString(file.string()),
                              format == "png" ? "PNG" : "JPG", 92))
                throw std::runtime_error("cannot write " + file.string());
            std::string number;
            for (const auto& f : fills) {
                if (f.question == 0)
                    number += f.value;
                truth << name << ',' << page << ',' << Item(f) << ',' << f.value << ','
                      << tools::FillName(f.kind) << ',' << (tools::CountsAsMarked(f.kind) ? 1 : 0)
                      << ',' << (tools::ReviewAcceptable(f.kind) ? 1 : 0) << "\r\n";
            }
            sheets << name << ',' << page << ',' << number << ',' << how.turn << ',' << how.rotation
                   << ',' << how.scale << ',' << how.perspective << ',' << how.blur << ','
                   << how.noise << ',' << how.jpeg << ',' << how.dust << "\r\n";
            std::printf("wrote %s\n", file.c_str());
        }
        if (!truth || !sheets)
            throw std::runtime_error("cannot write truth.csv or sheets.csv in " + out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillory-render: %s\n", e.what());
        return 1;
    }
    return 0;
}
