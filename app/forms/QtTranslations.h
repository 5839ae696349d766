#pragma once

#include <QString>

class QCoreApplication;

namespace app::forms {

// Installs Qt's own Chinese texts (qtbase_zh_CN.qm: the buttons of message
// boxes, the file dialog) from `folder`, Qt's translations folder when
// empty. Returns false, changing nothing, when the file is missing or does
// not load: the program then runs with Qt's English texts.
bool InstallQtTranslations(QCoreApplication& application, const QString& folder = {});

} // namespace app::forms
