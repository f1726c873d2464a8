// Conversations, absence messages and meeting rooms reach the main window
// here. The conversation and room windows come later; until then their frames
// are accepted and left unanswered.
#include "main/Tmfrm.h"

void Tmfrm::ProcMSG(const FieldList &) {}
void Tmfrm::ProcMSI(const FieldList &) {}
void Tmfrm::ProcMRM(const FieldList &) {}
void Tmfrm::ProcMRJ(const FieldList &) {}
void Tmfrm::ProcMRD(const FieldList &) {}

// Queued whole; the absence message window shows one at a time. A short frame
// fails before anything is queued.
void Tmfrm::ProcAMS(const FieldList &fields)
{
    QByteArray entry;
    for (int i = 1; i <= 4; ++i)
        entry.append(fields.view(i)).append('\t');
    AbsenceQueue.append(entry);
}

void Tmfrm::N10Click() {}
