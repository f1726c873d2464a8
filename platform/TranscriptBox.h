#pragma once

class QByteArray;
class QTextEdit;

// Adds a line of cp932 text at the end of a read-only transcript, as plain text
// in the box's own font and colour, and scrolls so the newest line is in view.
// A line longer than anyone could read (the server is not ours to trust) is
// shown cut, so one frame cannot freeze the window with its layout.
void AddTranscriptText(QTextEdit *box, const QByteArray &line);

// The most characters of one line a transcript shows; a typed line is at most
// 1024 bytes, so only a broken or hostile server reaches it.
inline constexpr int TranscriptLineShown = 8192;
