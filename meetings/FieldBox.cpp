#include "meetings/FieldBox.h"

#include "platform/WidgetText.h"
#include "wire/Fields.h"

#include <QLineEdit>

void CleanFieldBox(QLineEdit *box, qsizetype limit, Caret caret)
{
    const QString clean = ToWidgetText(CleanFieldText(FromWidgetText(box->text()), limit));
    if (clean == box->text())
        return;
    const int position = box->cursorPosition();
    box->setText(clean);
    if (caret == Caret::Kept)
        box->setCursorPosition(std::min<int>(position, static_cast<int>(clean.size())));
}
