#pragma once

#include "alert/AlertWindowView.h"

#include "platform/ports/AnsiCodec.h"
#include "platform/ports/FileDialog.h"
#include "platform/ports/FileTitle.h"

#include <QString>

#include <cstdint>

namespace pelmora::alert {

// The mail program started on new mail: chosen with the file-open dialog (from the
// menu item "起動メーラーの設定"), kept as its path and its file title, and named by the caption
// that scrolls along the bottom strip (every 20 ms).
class MailProgramChoice {
public:
    MailProgramChoice(platform::FileDialog& dialog, platform::FileTitle& fileTitle,
                      const platform::AnsiCodec& codec, MailProgramWindowView& window);

    // Shows the dialog and takes the file name it reports, also after a cancel.
    void choose();
    // Names the program in the caption ("設定されていません。" while no path is held) and moves
    // the caption 20 twips to the left, back to the right end once it has passed the left one.
    void onCaptionTick();
    // Makes up for ticks the caption missed while it could not be seen (its timer rests then):
    // the caption stands where those ticks would have moved it and is named as a tick names it.
    void catchUpCaption(std::int64_t missedTicks);
    // Where the caption stands `ticks` ticks after standing at `left`.
    static int captionLeftAfter(int left, std::int64_t ticks);

    static constexpr int kCaptionStart = 2760; // twips: the caption's first few letters show
    static constexpr int kCaptionEnd = -1500;  // twips: where it jumps back
    static constexpr int kCaptionStep = 20;    // twips per tick

private:
    // GetFileTitleA into a title buffer of 250 characters; empty when it writes nothing.
    QString fileTitle(const QString& path) const;
    // fileTitle(mailProgramPath()), kept for the path it was worked out for.
    QString fileTitleOfPath();

    platform::FileDialog& m_dialog;
    platform::FileTitle& m_fileTitle;
    const platform::AnsiCodec& m_codec;
    MailProgramWindowView& m_window;
    QString m_titledPath;
    QString m_title;
    bool m_titled = false;
};

} // namespace pelmora::alert
