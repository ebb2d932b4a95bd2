#pragma once

#include "platform/ports/MessageBox.h"

#include <QString>

namespace pelmora::settings {

// A settings file that could not be written, and why.
struct SaveFailure {
    QString path;
    QString reason;
};

// Tells the user in a box titled "エラー", naming the file and the reason; waits for OK.
void tellSaveFailure(platform::MessageBox& messageBox, const SaveFailure& failure);

} // namespace pelmora::settings
