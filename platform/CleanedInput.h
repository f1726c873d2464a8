#pragma once

#include <QByteArray>

class QLineEdit;
class QTextEdit;

// Input boxes whose text goes into a frame keep it fit to be a field: cut to
// the limit in bytes, no TAB, no line break, no dangling lead byte. The box's
// text is replaced only when cleaning changes it.
enum class CaretAfterCleaning { Kept, AtEnd };

void ReplaceWithCleanText(QLineEdit *box, qsizetype limit, CaretAfterCleaning caret);
void ReplaceWithCleanText(QTextEdit *box, qsizetype limit, CaretAfterCleaning caret);

// The box's text as the frame carries it.
QByteArray CleanInputText(const QTextEdit *box, qsizetype limit);
QByteArray CleanInputText(const QLineEdit *box, qsizetype limit);
