#pragma once

#include <QDialog>

#include <cstdint>

namespace pelmora::platform {

// A window with the load-and-unload life of the program's dialogs and notice board: it is created
// hidden when first used and runs loadContents once; unloading it (its own buttons, its close box or
// code) hides it and destroys it, so the next use creates it anew and loads it again.
//
// The form host (app/) creates forms and learns of their unloading through `unloaded()`; from that
// moment the form counts as gone even though Qt deletes the object a little later.
class Form : public QDialog {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);

    // Runs once, right after the form host has created the form and registered it.
    virtual void loadContents() {}

    bool isUnloaded() const { return m_unloaded; }

    // Hides and destroys the form (deferred, so it is safe inside the form's own handlers).
    void unload();

Q_SIGNALS:
    void unloaded();

protected:
    // What every form sets up first: its control name, its caption, a title bar with only the
    // close box (as a dialog, or as a window of its own), and a fixed size in twips.
    enum class Frame : std::uint8_t { Dialog, Window };
    void setUpFixedFrame(const QString& name, const QString& caption, Frame frame,
                         int widthTwips, int heightTwips);

    // The window's close box. By default it unloads the form.
    virtual void closeBoxPressed() { unload(); }
    // The Esc key. By default nothing: only forms with a cancel button react to it.
    virtual void escapePressed() {}

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    bool m_unloaded = false;
};

} // namespace pelmora::platform
