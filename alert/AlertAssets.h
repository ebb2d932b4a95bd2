#pragma once

#include <QString>

namespace pelmora::alert {

// The program's images and sound, named the way the program names them: a literal beginning
// with a backslash, appended to the program folder.
inline constexpr char16_t kRestingAnimationLiteral[] = u"\\画像データ\\MoveDog.gif";
inline constexpr char16_t kAlertAnimationLiteral[] = u"\\画像データ\\ShintyakuMove.gif";
inline constexpr char16_t kAlertSoundLiteral[] = u"\\Sound\\Kouka.wav";
inline constexpr char16_t kGreenLampLiteral[] = u"\\画像データ\\Green.gif";
inline constexpr char16_t kRedLampLiteral[] = u"\\画像データ\\Red.gif";

// The address the animation pane is sent to: "file://" followed directly by the program folder
// and the literal, backslashes unchanged.
QString animationUrl(const QString& programFolder, const char16_t* literal);

} // namespace pelmora::alert
