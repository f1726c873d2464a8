// Conversations, absence messages and meeting rooms reach the main window
// here. Their windows come later; until then these frames are accepted and
// left unanswered, which the server takes as "nothing shown".
#include "main/Tmfrm.h"

void Tmfrm::ProcMSG(const FieldList &) {}
void Tmfrm::ProcMSI(const FieldList &) {}
void Tmfrm::ProcMRM(const FieldList &) {}
void Tmfrm::ProcMRJ(const FieldList &) {}
void Tmfrm::ProcMRD(const FieldList &) {}
void Tmfrm::ProcAMS(const FieldList &) {}
void Tmfrm::N10Click() {}
