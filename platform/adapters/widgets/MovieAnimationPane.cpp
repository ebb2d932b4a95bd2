#include "platform/adapters/widgets/MovieAnimationPane.h"

#include "platform/ProgramPaths.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMovie>
#include <QTimer>
#include <QWindow>

namespace pelmora::platform {

MovieAnimationPane::MovieAnimationPane(QWidget* frame) : QLabel(frame)
{
    setAlignment(Qt::AlignCenter);
    if (frame)
        setGeometry(frame->rect());
}

MovieAnimationPane::~MovieAnimationPane() = default;

void MovieAnimationPane::navigate(const QString& url)
{
    clearMovie();
    const QString file = localFileFromFileUrl(url);
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return;

    // A file can look like a GIF by its header and still hold no picture: only an animation whose
    // first frame decodes is shown.
    if (QImageReader(file).read().isNull())
        return;
    auto* movie = new QMovie(file, QByteArray(), this);
    if (!movie->isValid()) {
        delete movie;
        return;
    }
    // A few small frames: decoding them once instead of at every loop saves the processor.
    movie->setCacheMode(QMovie::CacheAll);
    m_movie = movie;
    m_currentFile = file;
    setMovie(m_movie);
    m_movie->start();
    followVisibility();
}

bool MovieAnimationPane::isAnimating() const
{
    return m_movie && m_movie->state() != QMovie::NotRunning;
}

void MovieAnimationPane::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    QWindow* handle = window()->windowHandle();
    if (handle != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = handle;
        if (m_watchedWindow)
            m_watchedWindow->installEventFilter(this);
    }
    followVisibility();
}

void MovieAnimationPane::hideEvent(QHideEvent* event)
{
    QLabel::hideEvent(event);
    followVisibility();
}

bool MovieAnimationPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Expose)
        QTimer::singleShot(0, this, [this] { followVisibility(); }); // once the expose is handled
    return QLabel::eventFilter(watched, event);
}

void MovieAnimationPane::setScreenLocked(bool locked)
{
    m_screenLocked = locked;
    followVisibility();
}

void MovieAnimationPane::followVisibility()
{
    if (!m_movie || m_movie->state() == QMovie::NotRunning)
        return;
    const QWindow* handle = window()->windowHandle();
    const bool seen = !m_screenLocked && isVisible() && (!handle || handle->isExposed());
    m_movie->setPaused(!seen);
}

void MovieAnimationPane::clearMovie()
{
    if (m_movie) {
        m_movie->stop();
        setMovie(nullptr);
        m_movie->deleteLater();
        m_movie = nullptr;
    }
    m_currentFile.clear();
    clear();
}

} // namespace pelmora::platform
