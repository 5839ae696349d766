#include "scan/ItemPictures.h"

#include <opencv2/imgproc.hpp>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace scan {
namespace {

// Room around the bubbles: the question's number on the left, a little
// paper on the other sides.
constexpr double kMarginMm = 2, kNumberMm = 7;

ItemPicture Picture(const cv::Mat& grey, const PageReading& reading, std::string label,
                    const std::vector<const Bubble*>& bubbles, double numberRoom) {
    std::array<double, 4> area = ItemArea(bubbles);
    area[0] -= numberRoom;
    const cv::Mat cut = CutOut(grey, reading.toPicture, area, kItemPictureScale);
    ItemPicture p;
    p.label = std::move(label);
    const cv::Mat whole = cut.isContinuous() ? cut : cut.clone();
    const QImage picture(whole.data, whole.cols, whole.rows, static_cast<qsizetype>(whole.step),
                         QImage::Format_Grayscale8);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    p.png.assign(png.begin(), png.end());
    for (const Bubble* b : bubbles)
        p.frames.push_back(
            {static_cast<int>(std::lround((b->area.left() - area[0]) * kItemPictureScale)),
             static_cast<int>(std::lround((b->area.top() - area[1]) * kItemPictureScale)),
             static_cast<int>(std::lround(b->area.w * kItemPictureScale)),
             static_cast<int>(std::lround(b->area.h * kItemPictureScale))});
    return p;
}

} // namespace

std::array<double, 4> ItemArea(const std::vector<const Bubble*>& bubbles) {
    std::array<double, 4> a{1e9, 1e9, -1e9, -1e9};
    for (const Bubble* b : bubbles) {
        a[0] = std::min(a[0], b->area.left());
        a[1] = std::min(a[1], b->area.top());
        a[2] = std::max(a[2], b->area.right());
        a[3] = std::max(a[3], b->area.bottom());
    }
    if (bubbles.empty())
        a = {0, 0, 1, 1};
    return {a[0] - kMarginMm, a[1] - kMarginMm, a[2] + kMarginMm, a[3] + kMarginMm};
}

cv::Mat CutOut(const cv::Mat& grey, const std::array<double, 9>& toPicture,
               const std::array<double, 4>& area, double scale) {
    const cv::Matx33d paperToPicture(toPicture.data());
    // The cut-out's pixels -> the paper's millimetres -> the picture.
    const cv::Matx33d cutToPaper(1 / scale, 0, area[0], 0, 1 / scale, area[1], 0, 0, 1);
    const cv::Matx33d cutToPicture = paperToPicture * cutToPaper;
    const cv::Size size(std::max(1, static_cast<int>(std::lround((area[2] - area[0]) * scale))),
                        std::max(1, static_cast<int>(std::lround((area[3] - area[1]) * scale))));
    cv::Mat cut;
    cv::warpPerspective(grey, cut, cv::Mat(cutToPicture), size,
                        cv::INTER_AREA | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                        cv::Scalar(255));
    return cut;
}

std::vector<ItemPicture> PicturesToReview(const cv::Mat& grey, const PageReading& reading,
                                          const Page& page) {
    std::vector<ItemPicture> pictures;
    if (reading.toPicture == std::array<double, 9>{})
        return pictures;
    const bool idInDoubt = std::any_of(reading.digits.begin(), reading.digits.end(),
                                       [](const ItemReading& d) { return !d.doubts.empty(); });
    if (idInDoubt) {
        std::vector<const Bubble*> bubbles;
        for (const Digit& d : page.examNumber)
            for (const Bubble& b : d.bubbles)
                bubbles.push_back(&b);
        pictures.push_back(Picture(grey, reading, "id", bubbles, 0));
    }
    for (const ItemReading& item : reading.questions) {
        if (item.doubts.empty())
            continue;
        const auto q = std::find_if(page.questions.begin(), page.questions.end(),
                                    [&](const Question& x) { return x.number == item.question; });
        if (q == page.questions.end())
            continue;
        std::vector<const Bubble*> bubbles;
        for (const Bubble& b : q->bubbles)
            bubbles.push_back(&b);
        pictures.push_back(Picture(grey, reading, item.label, bubbles, kNumberMm));
    }
    return pictures;
}

} // namespace scan
