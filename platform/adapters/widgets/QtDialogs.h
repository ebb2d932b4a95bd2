#pragma once

// Adapters for the small desktop services: message boxes, the file-open dialog, starting another
// program and opening an address in the user's browser.

#include "platform/ports/FileDialog.h"
#include "platform/ports/HomepageBrowser.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/ProgramLauncher.h"

namespace pelmora::platform {

class QtMessageBox final : public MessageBox {
public:
    int msgBox(const QString& prompt, int style, const QString& title) override;
    void msgBoxModeless(const QString& prompt, int style, const QString& title) override;
};

class QtFileDialog final : public FileDialog {
public:
    QString showOpen(QWidget* parent) override;

private:
    QString m_fileName; // kept between calls, as the dialog component keeps its FileName
};

class DetachedProgramLauncher final : public ProgramLauncher {
public:
    bool shell(const QString& path, int windowStyle) override;
};

class DesktopHomepageBrowser final : public HomepageBrowser {
public:
    bool navigate(const QUrl& address) override;
};

} // namespace pelmora::platform
