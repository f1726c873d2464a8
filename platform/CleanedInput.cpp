#include "platform/CleanedInput.h"

#include "platform/WidgetText.h"
#include "wire/Fields.h"

#include <QLineEdit>
#include <QTextCursor>
#include <QTextEdit>

namespace {

// The cleaned text, or nothing when it is the box's text already.
std::optional<QString> Cleaned(const QString &text, qsizetype limit)
{
    const QByteArray bytes = FromWidgetText(text);
    const QByteArray clean = CleanFieldText(bytes, limit);
    if (clean == bytes)
        return std::nullopt;
    return ToWidgetText(clean);
}

} // namespace

void ReplaceWithCleanText(QLineEdit *box, qsizetype limit, CaretAfterCleaning caret)
{
    const auto clean = Cleaned(box->text(), limit);
    if (!clean)
        return;
    const int position = box->cursorPosition();
    box->setText(*clean);
    if (caret == CaretAfterCleaning::Kept)
        box->setCursorPosition(std::min<int>(position, static_cast<int>(clean->size())));
}

void ReplaceWithCleanText(QTextEdit *box, qsizetype limit, CaretAfterCleaning caret)
{
    const auto clean = Cleaned(box->toPlainText(), limit);
    if (!clean)
        return;
    const int position = box->textCursor().position();
    box->setPlainText(*clean);
    QTextCursor cursor = box->textCursor();
    if (caret == CaretAfterCleaning::Kept)
        cursor.setPosition(std::min<int>(position, static_cast<int>(clean->size())));
    else
        cursor.movePosition(QTextCursor::End);
    box->setTextCursor(cursor);
}

QByteArray CleanInputText(const QTextEdit *box, qsizetype limit)
{
    return CleanFieldText(FromWidgetText(box->toPlainText()), limit);
}

QByteArray CleanInputText(const QLineEdit *box, qsizetype limit)
{
    return CleanFieldText(FromWidgetText(box->text()), limit);
}
