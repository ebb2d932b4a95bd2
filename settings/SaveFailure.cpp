#include "settings/SaveFailure.h"

#include <QDir>

namespace pelmora::settings {

using namespace Qt::StringLiterals;

void tellSaveFailure(platform::MessageBox& messageBox, const SaveFailure& failure)
{
    const QString text = u"設定を保存できませんでした。\n\nファイル: %1\n理由: %2"_s.arg(
        QDir::toNativeSeparators(failure.path), failure.reason);
    messageBox.msgBox(text, platform::msgbox::kExclamation, u"エラー"_s);
}

} // namespace pelmora::settings
