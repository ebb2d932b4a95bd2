#pragma once

#include "alert/AlertWindowView.h"

#include "platform/ports/Multimedia.h"

#include <QString>

namespace pelmora::alert {

// The new-mail alert of the main window: the sound "Kouka.wav" under the multimedia alias "bgm"
// and the new-mail animation. start() starts it ("吠える♪", and new mail the check found),
// stop() stops it ("戻す"), and onSoundWatchTick() watches the sound every 100 ms while it is
// open, playing it again from the start each time it ends while the loop flag is set.
class AlertPresenter {
public:
    AlertPresenter(platform::Multimedia& multimedia, QString programFolder,
                   AlertWindowView& window);

    void start();
    void stop();
    void onSoundWatchTick();

    // Capacity declared for the status reply.
    static constexpr std::uint32_t kReplyCapacity = 255;

private:
    platform::Multimedia& m_multimedia;
    QString m_programFolder;
    AlertWindowView& m_window;
    QString m_reply; // the status reply, kept between ticks
};

} // namespace pelmora::alert
