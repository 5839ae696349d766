#pragma once

#include <QString>

class QWidget;

namespace app::forms {

// The box that ends "成绩分析": names the workbook written and offers to open
// it or its folder. "file", "folder", or empty when it was closed.
[[nodiscard]] QString AskOpenResults(QWidget* owner, const QString& file);

} // namespace app::forms
