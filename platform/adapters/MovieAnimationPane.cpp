#include "platform/adapters/MovieAnimationPane.h"

#include "platform/ProgramPaths.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMovie>

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
    m_movie = movie;
    m_currentFile = file;
    setMovie(m_movie);
    m_movie->start();
}

bool MovieAnimationPane::isAnimating() const
{
    return m_movie && m_movie->state() == QMovie::Running;
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
