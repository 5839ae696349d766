#include "tools/gen-answer-table/IrtModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace tools {
namespace {

// Rates per mark, in line with what answer-sheet readers report.
constexpr double Unreadable = 0.0015; // smudges and torn marks
constexpr double TwoMarks = 0.004;    // a second option not quite erased
constexpr double MostBlanks = 0.04;   // blank rate of a question nobody knows
constexpr char UnreadableBytes[] = {'*', '#', '!'};

double Logistic(double x) {
    return 1 / (1 + static_cast<double>(std::exp(static_cast<float>(-x))));
}

char Code(unsigned mask) {
    return static_cast<char>(48 + mask);
}

} // namespace

IrtModel::IrtModel(int questions, int multi, int options, int classes, std::uint64_t seed)
    : mOptions(static_cast<unsigned>(options)), mRng(seed) {
    if (options < 2 || options > 6)
        throw std::invalid_argument("options must be 2..6");
    if (multi < 0 || multi > questions)
        throw std::invalid_argument("multi must be 0..questions");
    if (multi > 0 && options < 3)
        throw std::invalid_argument("multiple choice needs at least 3 options");
    // Classes differ by about a third of the spread between students.
    for (int c = 0; c < classes; ++c)
        mClassLevel.push_back(0.35 * mNormal(mRng));
    drawQuestions(questions, multi);
    writeKey();
}

void IrtModel::drawQuestions(int questions, int multi) {
    for (int k = 0; k < questions; ++k) {
        Question q;
        q.multi = k >= questions - multi;
        q.slope = 1.7 * std::clamp(0.75 * std::exp(0.4 * mNormal(mRng)), 0.2, 2.5);
        // A school test is mostly within reach: the difficulties sit below
        // the average ability.
        q.difficulty = std::clamp(-0.4 + 1.0 * mNormal(mRng), -2.5, 2.5);
        q.guess = q.multi ? 0.02 : 0.6 / mOptions + 0.1 * uniform();
        if (q.multi) {
            const double size = uniform();
            const unsigned letters = std::min(mOptions - 1, size < 0.1 ? 1u : size < 0.6 ? 2u : 3u);
            while (static_cast<unsigned>(std::popcount(q.key)) < letters)
                q.key |= randomOption();
        } else {
            q.key = randomOption();
        }
        do
            q.lure = randomOption();
        while (q.lure & q.key);
        q.lureShare = 0.4 + 0.3 * uniform();
        mQuestions.push_back(q);
    }
}

void IrtModel::writeKey() {
    std::size_t singles = 0;
    for (const Question& q : mQuestions) {
        std::string letters;
        for (unsigned bit = 0; bit < 6; ++bit)
            if (q.key & (1u << bit))
                letters += static_cast<char>('A' + bit);
        if (q.multi) {
            mKey.multi += (mKey.multi.empty() ? "" : ";") + letters;
        } else {
            if (singles > 0 && singles % 5 == 0)
                mKey.single += ';';
            mKey.single += letters;
            ++singles;
        }
    }
}

unsigned IrtModel::wrongOption(const Question& q) {
    if (uniform() < q.lureShare)
        return q.lure;
    unsigned option;
    do
        option = randomOption();
    while (option & q.key);
    return option;
}

// A non-empty part of the mask, smaller than it when it has two letters or more.
unsigned IrtModel::partOf(unsigned mask) {
    const int letters = std::popcount(mask);
    if (letters < 2)
        return mask;
    unsigned part;
    do {
        part = 0;
        for (unsigned bit = 0; bit < 6; ++bit)
            if ((mask & (1u << bit)) && uniform() < 0.5)
                part |= 1u << bit;
    } while (part == 0 || part == mask);
    return part;
}

char IrtModel::singleMark(const Question& q, double ability) {
    const double knows = Logistic(q.slope * (ability - q.difficulty));
    const double u = uniform();
    if (u < Unreadable)
        return UnreadableBytes[mRng() % 3];
    if (u < Unreadable + TwoMarks)
        return Code(q.key | q.lure);
    if (u < Unreadable + TwoMarks + MostBlanks * (1 - knows))
        return '0';
    if (uniform() < q.guess + (1 - q.guess) * knows)
        return Code(q.key);
    return Code(wrongOption(q));
}

char IrtModel::multiMark(const Question& q, double ability) {
    const double knows = Logistic(q.slope * (ability - q.difficulty));
    const double u = uniform();
    if (u < Unreadable)
        return UnreadableBytes[mRng() % 3];
    if (u < Unreadable + MostBlanks * (1 - knows))
        return '0';
    if (uniform() < q.guess + (1 - q.guess) * knows)
        return Code(q.key);
    // Not sure of every letter: the safe part of the key, or a set that
    // takes in the distractor.
    if (std::popcount(q.key) >= 2 && uniform() < 0.6)
        return Code(partOf(q.key));
    const unsigned kept = uniform() < 0.5 ? partOf(q.key) : 0u;
    return Code(kept | wrongOption(q));
}

void IrtModel::fill(int classIndex, std::string& content) {
    const double level = mClassLevel[static_cast<std::size_t>(classIndex) % mClassLevel.size()];
    const double ability = level + mNormal(mRng);
    content.resize(mQuestions.size());
    for (std::size_t k = 0; k < mQuestions.size(); ++k)
        content[k] = mQuestions[k].multi ? multiMark(mQuestions[k], ability)
                                         : singleMark(mQuestions[k], ability);
}

} // namespace tools
