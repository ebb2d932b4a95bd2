#pragma once

#include <QString>

class QWidget;

namespace pelmora::platform {

// The file-open dialog component: shown modal, it answers its file name afterwards (the chosen
// file, or what it held before when the user cancelled; empty when nothing was ever chosen).
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual QString showOpen(QWidget* parent) = 0;
};

} // namespace pelmora::platform
