#include "platform/forms/JapaneseFont.h"

namespace pelmora::platform {

using namespace Qt::StringLiterals;

QFont japaneseGothicFont(double pointSize, bool bold)
{
    QFont font;
    font.setFamilies(QStringList{u"ＭＳ Ｐゴシック"_s, u"MS PGothic"_s, u"IPAPGothic"_s, u"IPAGothic"_s,
                      u"Noto Sans CJK JP"_s, u"VL PGothic"_s, u"sans-serif"_s});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace pelmora::platform
