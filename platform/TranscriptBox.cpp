#include "platform/TranscriptBox.h"

#include "platform/WidgetText.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

void AddTranscriptText(QTextEdit *box, const QByteArray &line)
{
    QString shown = ToWidgetText(line);
    if (shown.size() > TranscriptLineShown)
        shown = shown.first(TranscriptLineShown) + QStringLiteral("…");
    // Inserted through a cursor, never as markup: a line that looks like HTML
    // stays the characters it is.
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    if (!box->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(shown);
    // The caret rests on the new line and the view follows it.
    cursor.movePosition(QTextCursor::StartOfBlock);
    box->setTextCursor(cursor);
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}
