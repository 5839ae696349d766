#pragma once

// What the benchmarks share: a child process's wall time and peak resident
// memory, a Ui that answers without a person, and the generated table.
#include "core/Config.h"
#include "core/Ui.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

struct Measure {
    double seconds = 0;
    double cpuSeconds =
        0; // user + system: less swayed than the wall time by other work on the machine
    long peakKb = 0;
    int status = 0;
    pid_t pid = 0; // the child's, which names its folder in the temporary folder
};

// Runs argv as a child process (its stdout discarded unless keepOutput).
inline Measure RunChild(const std::vector<std::string>& argv, bool keepOutput = false) {
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!keepOutput && !std::freopen("/dev/null", "w", stdout))
            _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.peakKb = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    m.pid = pid;
    return m;
}

inline void Report(const char* what, const Measure& m) {
    std::printf("%-44s %8.2f s  %8.2f s cpu  %8.1f MB peak  (exit %d)\n", what, m.seconds,
                m.cpuSeconds, m.peakKb / 1024.0, m.status);
    std::fflush(stdout);
}

// Answers every question No, confirms the field names, takes every offer.
class QuietUi : public core::Ui {
  public:
    void message(const std::string&, const std::string&, core::Icon) override {}
    bool question(const std::string&, const std::string&, core::GoOn goOn) override {
        return goOn == core::GoOn::WithYes;
    }
    bool editFieldNames(core::FieldSettings&) override { return true; }
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string& value) override {
        return value;
    }
};

// The benchmarks' table: `records` sheets of 100 questions, 50 classes
// ("2026" + class + five-digit seat), an empty floating score column.
inline void WriteBenchTable(const std::filesystem::path& file, long long records) {
    tools::AnswerTableLayout layout;
    layout.records = records;
    layout.questions = 100;
    layout.classes = 50;
    layout.seatDigits = 5;
    layout.score = "float";
    tools::WriteAnswerTable(file, layout);
}

} // namespace bench
