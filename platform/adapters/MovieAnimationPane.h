#pragma once

#include "platform/ports/AnimationPane.h"

#include <QLabel>

class QMovie;

namespace pelmora::platform {

// Shows the animated GIF named by a "file://" address, centred in its frame and clipped by it.
// An address that names no readable animation leaves the frame empty.
class MovieAnimationPane final : public QLabel, public AnimationPane {
    Q_OBJECT
public:
    explicit MovieAnimationPane(QWidget* frame);
    ~MovieAnimationPane() override;

    void navigate(const QString& url) override;

    // The file now shown, or an empty text while the frame is empty.
    QString currentFile() const { return m_currentFile; }
    bool isAnimating() const;

private:
    void clearMovie();

    QMovie* m_movie = nullptr;
    QString m_currentFile;
};

} // namespace pelmora::platform
