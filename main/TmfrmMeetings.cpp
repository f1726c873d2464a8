// Meeting rooms reach the main window here. The room windows come later; until
// then their frames are accepted and left unanswered.
#include "main/Tmfrm.h"

void Tmfrm::ProcMRM(const FieldList &) {}
void Tmfrm::ProcMRJ(const FieldList &) {}
void Tmfrm::ProcMRD(const FieldList &) {}

void Tmfrm::N10Click() {}
