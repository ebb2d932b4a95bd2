#pragma once

#include "platform/ports/AnimationPane.h"

#include <QLabel>
#include <QPointer>

class QMovie;
class QWindow;

namespace pelmora::platform {

// Shows the animated GIF named by a "file://" address, centred in its frame and clipped by it.
// An address that names no readable animation leaves the frame empty. The frames are decoded once
// and kept, and the animation rests while the pane is not on screen (its window hidden in the
// tray or minimised), so an idle program costs next to nothing.
class MovieAnimationPane final : public QLabel, public AnimationPane {
    Q_OBJECT
public:
    explicit MovieAnimationPane(QWidget* frame);
    ~MovieAnimationPane() override;

    void navigate(const QString& url) override;
    void setScreenLocked(bool locked) override;

    // The file now shown, or an empty text while the frame is empty.
    QString currentFile() const { return m_currentFile; }
    // An animation is loaded (running, or resting while the pane is not on screen).
    bool isAnimating() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Watches the window's exposure: a window the desktop unmaps or iconifies is not hidden in
    // Qt's terms, only no longer exposed.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearMovie();
    // Runs the animation while it can be seen, rests it otherwise.
    void followVisibility();

    QPointer<QWindow> m_watchedWindow;

    QMovie* m_movie = nullptr;
    bool m_screenLocked = false;
    QString m_currentFile;
};

} // namespace pelmora::platform
