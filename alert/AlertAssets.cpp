#include "alert/AlertAssets.h"

namespace pelmora::alert {

QString animationUrl(const QString& programFolder, const char16_t* literal)
{
    return QStringLiteral("file://") + programFolder + QString::fromUtf16(literal);
}

} // namespace pelmora::alert
