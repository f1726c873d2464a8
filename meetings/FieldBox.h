#pragma once

#include <QtGlobal>

class QLineEdit;

// Keeps a box's text fit to be a field of `limit` bytes: the text is put back
// only when cleaning changed it, so putting it back changes nothing further.
// Boxes for names put the caret back where it was; the others leave it where
// setting the text puts it (the end).
enum class Caret { Kept, AtEnd };
void CleanFieldBox(QLineEdit *box, qsizetype limit, Caret caret);
