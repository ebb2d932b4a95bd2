#pragma once

#include <QString>

namespace pelmora::alert {

// The program's images, named the way the program names them: a literal beginning with a
// backslash, appended to the program folder.
inline constexpr char16_t kRestingAnimationLiteral[] = u"\\画像データ\\MoveDog.gif";

// The address the animation pane is sent to: "file://" followed directly by the program folder
// and the literal, backslashes unchanged.
QString animationUrl(const QString& programFolder, const char16_t* literal);

} // namespace pelmora::alert
