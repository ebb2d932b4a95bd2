#pragma once

#include <QString>

namespace pelmora::platform {

// A message box in the manner of VB's MsgBox: the style value combines buttons and icon, the
// answer tells which button closed it.
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
} // namespace msgbox

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Blocks until the user answers; window events keep being dispatched meanwhile.
    virtual int msgBox(const QString& prompt, int style, const QString& title) = 0;
    // The same box with an OK button, shown without waiting: the caller goes on at once and the
    // box closes itself when the user presses OK.
    virtual void msgBoxModeless(const QString& prompt, int style, const QString& title) = 0;
};

} // namespace pelmora::platform
