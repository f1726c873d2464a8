// The member-list half of the main window: the tree, presence, editing.
#include "main/Tmfrm.h"

#include <QTreeWidget>

void Tmfrm::ProcLSETS(const FieldList &) {}
void Tmfrm::ProcLSETD(const FieldList &) {}
void Tmfrm::ProcLSETE(const FieldList &) { ftree->show(); }
void Tmfrm::ProcUADD(const FieldList &) {}
void Tmfrm::ProcUDEL(const FieldList &) {}
void Tmfrm::ProcSTC(const FieldList &) {}
void Tmfrm::N4Click() {}
