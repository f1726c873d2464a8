#include "platform/TranscriptBox.h"

#include "platform/WidgetText.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

namespace {
constexpr char ScrollPending[] = "vantrelTranscriptScrollPending";
} // namespace

void AddTranscriptText(QTextEdit *box, const QByteArray &line)
{
    QString shown = ToWidgetText(line);
    if (shown.size() > TranscriptLineShown)
        shown = shown.first(TranscriptLineShown) + QStringLiteral("…");
    // A transcript is never edited, so nothing is kept to undo: thousands of
    // lines would otherwise each leave a record behind.
    if (box->isUndoRedoEnabled())
        box->setUndoRedoEnabled(false);
    // Inserted through a cursor, never as markup: a line that looks like HTML
    // stays the characters it is.
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock(); // one layout for the whole line, not one per step
    if (!box->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(shown);
    cursor.endEditBlock();
    // The view follows the newest line once the lines of this turn of the
    // event loop are in: a burst of frames scrolls, and redraws, only once.
    if (box->property(ScrollPending).toBool())
        return;
    box->setProperty(ScrollPending, true);
    QTimer::singleShot(0, box, [box] {
        box->setProperty(ScrollPending, false);
        box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    });
}
