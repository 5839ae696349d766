#include "cli/CliUi.h"

#include "core/Config.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

// The system's texts break lines with a carriage return; a terminal wants line feeds.
std::string Lines(std::string text) {
    for (char& c : text)
        if (c == '\r')
            c = '\n';
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

void CliUi::message(const std::string& text, const std::string& title, core::Icon icon) {
    const char* kind = icon == core::Icon::Error ? "错误" : "提示";
    std::fprintf(stderr, "[%s] %s: %s\n", kind, title.c_str(), Lines(text).c_str());
}

bool CliUi::question(const std::string& text, const std::string& title, core::GoOn goOn) {
    const bool either = goOn == core::GoOn::Offer || goOn == core::GoOn::Replace;
    bool yes = goOn == core::GoOn::Offer     ? mReport
               : goOn == core::GoOn::Replace ? mReplace
               : goOn == core::GoOn::WithYes ? mGoOn
                                             : !mGoOn;
    if (!either && !mGoOn)
        mStopped = true;
    std::fprintf(stderr, "[问题] %s: %s -> %s\n", title.c_str(), Lines(text).c_str(),
                 yes ? "是" : "否");
    return yes;
}

std::optional<std::string> CliUi::input(const std::string& caption, const std::string& prompt,
                                        const std::string& value) {
    std::string answer = typed ? *typed : value;
    std::fprintf(stderr, "[输入] %s: %s [%s] -> %s\n", caption.c_str(), prompt.c_str(),
                 value.c_str(), answer.c_str());
    return answer;
}

bool CliUi::editFieldNames(core::FieldSettings& fields) {
    std::fprintf(stderr, "[问题] 设置字段名: 考号字段 %s, 客观题字段 %s, 分数字段 %s -> %s\n",
                 fields.ID.c_str(), fields.Content.c_str(), fields.Score.c_str(),
                 mGoOn ? "确定" : "取消");
    if (!mGoOn)
        mStopped = true;
    return mGoOn;
}

void CliUi::waiting(const std::string& text) {
    if (text == mLastWait)
        return;
    mLastWait = text;
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CliUi::progress(const std::string& what, long long done, long long total) {
    if (total < 0 || !::isatty(2))
        return; // no amount to show, or no terminal to show it on
    if (total == 0) {
        if (mLastPercent >= 0)
            std::fprintf(stderr, "\n");
        mLastPercent = -1;
        return;
    }
    int percent = static_cast<int>(done * 100 / total);
    if (percent != mLastPercent) {
        mLastPercent = percent;
        std::fprintf(stderr, "\r%s %d%%", what.c_str(), percent);
    }
}

} // namespace cli
