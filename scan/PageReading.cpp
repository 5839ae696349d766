#include "scan/PageReading.h"

#include <algorithm>

namespace scan {

std::string SourceText(const PageSource& source) {
    const std::string file = reinterpret_cast<const char*>(source.file.u8string().c_str());
    return source.page > 0 ? file + "#" + std::to_string(source.page) : file;
}

const char* FailureText(Failure failure) {
    switch (failure) {
    case Failure::None:
        return "";
    case Failure::Unreadable:
        return "无法读取文件";
    case Failure::NoSheet:
        return "未找到答题卡";
    case Failure::NotLocated:
        return "定位失败";
    case Failure::UnknownLayout:
        return "未知版式";
    case Failure::OtherLayout:
        return "其他版式";
    }
    return "";
}

std::string StatusText(PageStatus status, Failure failure) {
    switch (status) {
    case PageStatus::Ok:
        return "ok";
    case PageStatus::Review:
        return "review";
    case PageStatus::Blank:
        return "blank";
    case PageStatus::Duplicate:
        return "duplicate";
    case PageStatus::Failed:
        return std::string("failed: ") + FailureText(failure);
    }
    return "";
}

const char* DoubtText(Doubt doubt) {
    switch (doubt) {
    case Doubt::LightMark:
        return "浅色标记";
    case Doubt::Erasure:
        return "擦除";
    case Doubt::NearThreshold:
        return "接近阈值";
    case Doubt::NoDigit:
    case Doubt::SeveralDigits:
        return "考号不可读";
    }
    return "";
}

std::string PageReading::examNumber() const {
    std::string number;
    for (const ItemReading& d : digits)
        number += d.reading.size() == 1 ? d.reading : "?";
    return number;
}

bool PageReading::toReview() const {
    const auto doubtful = [](const ItemReading& i) { return !i.doubts.empty(); };
    return std::any_of(digits.begin(), digits.end(), doubtful) ||
           std::any_of(questions.begin(), questions.end(), doubtful) ||
           std::any_of(fieldsOnly.begin(), fieldsOnly.end(), doubtful);
}

} // namespace scan
