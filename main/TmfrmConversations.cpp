// Conversations and absence messages reach the main window here.
#include "main/Tmfrm.h"

void Tmfrm::ProcMSG(const FieldList &) {}
void Tmfrm::ProcMSI(const FieldList &) {}

// Queued whole; the absence message window shows one at a time. A short frame
// fails before anything is queued.
void Tmfrm::ProcAMS(const FieldList &fields)
{
    QByteArray entry;
    for (int i = 1; i <= 4; ++i)
        entry.append(fields.view(i)).append('\t');
    AbsenceQueue.append(entry);
}
