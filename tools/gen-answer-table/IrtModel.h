#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Answer sheets drawn from a three-parameter item-response model, for
// sample tables that read like a real exam: each student has an ability
// (the class's level plus the student's own), each question a difficulty, a
// discrimination and a guessing level; a wrong answer falls most often on
// one attractive distractor; a few sheets carry blanks, marks of two options
// and bytes the reader could not read; multiple-choice questions are
// answered with the key, a part of it, or a set holding a wrong letter.
namespace tools {

// The key the sheets were drawn against, in the syntax of the key fields:
// the single-choice letters in groups of five separated by ";", the
// multiple-choice keys separated by ";".
struct AnswerKey {
    std::string single;
    std::string multi;
};

// A small fast generator (SplitMix64): the model draws several numbers per
// mark and a million sheets should take seconds.
class SplitMix64 {
  public:
    using result_type = std::uint64_t;
    explicit SplitMix64(std::uint64_t seed) : mState(seed) {}
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type{0}; }
    result_type operator()() {
        std::uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t mState;
};

class IrtModel {
  public:
    // `questions` marks a sheet, the last `multi` of them multiple choice,
    // each with `options` options (2 to 6); `classes` class levels.
    IrtModel(int questions, int multi, int options, int classes, std::uint64_t seed);

    // One student of class `classIndex` (0-based): the marks of every question.
    void fill(int classIndex, std::string& content);

    [[nodiscard]] const AnswerKey& key() const { return mKey; }

  private:
    struct Question {
        double slope = 1;      // discrimination, on the logistic scale
        double difficulty = 0; // the ability at which half of the non-guessers know it
        double guess = 0;      // the chance to be right without knowing
        unsigned key = 0;      // option bitmask of the key
        unsigned lure = 0;     // bitmask of the attractive distractor
        double lureShare = 0;  // share of the wrong answers it draws
        bool multi = false;
    };

    void drawQuestions(int questions, int multi);
    void writeKey();
    [[nodiscard]] double uniform() { return static_cast<double>(mRng() >> 11) * 0x1p-53; }
    [[nodiscard]] unsigned randomOption() { return 1u << (mRng() % mOptions); }
    [[nodiscard]] char singleMark(const Question& q, double ability);
    [[nodiscard]] char multiMark(const Question& q, double ability);
    [[nodiscard]] unsigned wrongOption(const Question& q);
    [[nodiscard]] unsigned partOf(unsigned mask);

    unsigned mOptions;
    SplitMix64 mRng;
    std::normal_distribution<double> mNormal{0.0, 1.0};
    std::vector<double> mClassLevel;
    std::vector<Question> mQuestions;
    AnswerKey mKey;
};

} // namespace tools
