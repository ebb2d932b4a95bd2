#pragma once

#include "platform/ports/MessageBox.h"

#include <QStringList>

#include <optional>

namespace pelmora::app {

// The Debian package's launcher refuses to start the program on a settings folder another user
// could have put files in, and has the installed program say why: started from the menu, nobody
// reads the launcher's standard error. "pelmora --start-refused TEXT" shows TEXT in a box and
// ends; it reads no settings and opens no other window.

// The text to show when the arguments (the program's name first) are the option and one text,
// cut to a length a box can show; none for any other arguments.
std::optional<QString> startRefusalText(const QStringList& arguments);

// Shows the text and returns the program's exit status once the box is closed: a failed start.
int showStartRefusal(platform::MessageBox& box, const QString& text);

} // namespace pelmora::app
