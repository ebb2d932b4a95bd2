#pragma once

#include <QLocale>

class QCoreApplication;

namespace pelmora::platform {

// Texts the toolkit draws itself — the buttons of message boxes, the file dialog's title and
// buttons — follow the desktop's language, as the system's own dialogs do on the desktops the
// program comes from (はい / いいえ on a Japanese desktop). The program's own captions and
// messages are Japanese whatever the language. Answers whether a translation was installed;
// English, the toolkit's own language, needs none, and a missing translation leaves English.
bool installToolkitTranslations(QCoreApplication& application, const QLocale& locale = QLocale());

} // namespace pelmora::platform
