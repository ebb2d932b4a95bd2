#pragma once

#include <QFont>
#include <QStringList>

namespace pelmora::platform {

// "ＭＳ Ｐゴシック" where it exists (Windows), otherwise the proportional Japanese gothic faces a
// Linux desktop has (IPA, Noto CJK, VL); fontconfig falls back further if none of them is there.
QFont japaneseGothicFont(double pointSize, bool bold = false);

} // namespace pelmora::platform
